// Image files through the codec components, for the layer list's import and export and the
// picture export of the space: which codec a file name takes, reading a file into a new layer
// on the space's worker, and writing a locked layer to a file through a new file beside it
// that replaces the target only once it is complete.
#pragma once
#include <string>

#include "OImageCodec.h"
#include "odata/GCompRef.h"
#include "odata/GSystem.h"

class CPaintSpace;
struct ILayerAsk;

// A name keeps at most this many UTF-16 units when it comes from a file name (and goes into
// one).
constexpr size_t IMAGE_NAME_MAX = 32;

// The text after the last '.' of the file name, lower-cased ("" without one; a '.' that
// starts the name does not count).
std::u16string ImageExtension(const std::u16string& path);
// The file name without its folder and its extension.
std::u16string ImageTitle(const std::u16string& path);
// The codec that reads and writes a file of this extension ("png", "jpg" or "jpeg", "bmp"):
// "Kestrum", "Sevlin", "Harsk", or null.
const char16_t* ImageCodecFor(const std::u16string& extension);
// The codec component of that name; null when none is registered.
GCompRef<OImageCodec> NewImageCodec(GSystem* system, const char16_t* name);
// The writer for the path, after the JPEG quality dialog for a JPEG file (*quality from it,
// else 100); null when the extension is not written, the dialog was cancelled or the codec
// is missing.
GCompRef<OImageCodec> ChooseImageWriter(GSystem* system, ILayerAsk* ask, const std::u16string& path, int* quality);
// Tells the user the codec's words under the caption "失败".
void ShowCodecFailure(ILayerAsk* ask, OImageCodec* codec);

// Decodes the file into layer, a new layer of the size and format the codec's ReadInfo gave
// that no list holds yet, as a job on the space's worker behind the progress display (busy
// only: the codec reports no rows). TRUE when the whole image was read. Otherwise the layer's
// pixels are not to be used, the file is closed, and the user was told the codec's words,
// unless the job was cancelled or raised an error (already reported).
BOOL ReadImageFile(CPaintSpace* space, ILayerAsk* ask, OImageCodec* codec, const char16_t* path, OLayer* layer);

// Writes the locked layer to target as a job on the space's worker behind the progress
// display. The file goes to a new temporary file in the target's folder that then replaces
// the target; when no such file can be made, the job writes the target itself. TRUE when the
// file is complete; on failure the user is told (unless the job was cancelled or raised an
// error) and an existing target is left as it was whenever a temporary file was made.
BOOL WriteImageFile(CPaintSpace* space, ILayerAsk* ask, OImageCodec* codec, const std::u16string& target,
                    LayerLock* lock, int quality);
