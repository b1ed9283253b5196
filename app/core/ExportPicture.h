// The File menu's picture export: the composed space, background included, written as a
// PNG, JPEG or BMP file of the space's size.
#pragma once
#include "platform/base/Types.h"

class CPaintSpace;
struct ILayerAsk;

// Asks for the file (and a JPEG's quality), composes the visible layers over the background
// and writes them; TRUE when the file was written. Nothing happens without a ready space or
// an asker.
BOOL ExportPicture(CPaintSpace* space, ILayerAsk* ask);
