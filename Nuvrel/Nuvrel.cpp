// The data plug-in: worker thread, undo recorder and zlib coders.
#include "XCoderZlib.h"
#include "XUndoRecorder.h"
#include "XWorker.h"

static const GComponentRecord g_nuvrelTable[] = {
    {nullptr, nullptr, GCOMPONENT_TABLE_HEADER, nullptr},
    {u"OUndoRecorder", u"XUndoRecorder", u"...", GCreateComponent<XUndoRecorder>},
    {u"OWorker", u"XWorker", u"multithread service", GCreateComponent<XWorker>},
    {u"OCoder", u"XEncoderZlib", u"zlib compressor", GCreateComponent<XEncoderZlib>},
    {u"OCoder", u"XDecoderZlib", u"zlib decompressor", GCreateComponent<XDecoderZlib>},
    {nullptr, nullptr, nullptr, nullptr},
};

GEXPORT_COMPONENT_TABLE(g_nuvrelTable);
