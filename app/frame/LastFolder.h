// The folder the file choosers open in: the one the user last chose a file in (a document, an
// image to load or to write), kept in the settings so that the next run starts there too.
// No Qt in here.
#pragma once
#include <string>

namespace lastfolder {

// The kept folder; "" when none was kept or it is gone (a chooser then opens where it would).
std::u16string Get();
// Keeps the folder of a file the user chose; nothing for an empty path.
void Remember(const std::u16string& chosenPath);
// Where a chooser starts for a proposed name: a path with a folder as it is, a bare name in the
// kept folder (the kept folder alone for no name).
std::u16string StartPath(const std::u16string& proposed);

}  // namespace lastfolder
