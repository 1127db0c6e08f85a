// Frames of every format but PNG through OpenImageIO: the module
// corvalin_oiio_codec.so, which the program loads when it first meets such a
// file (cli/oiio_module.cpp). Its one exported symbol hands out the reader
// and the writer.
#include <OpenImageIO/imageio.h>

#include "cli/frame_codec.h"
#include "cli/oiio_decoder.h"
#include "cli/oiio_encoder.h"

extern "C" __attribute__((visibility("default"))) const corvalin::cli::OiioCodecEntry*
corvalin_oiio_codec_entry() {
  // OpenEXR's own thread pool would compete with the pipeline's threads;
  // each frame is decoded and encoded on the thread that holds it.
  OIIO::attribute("exr_threads", -1);
  static const corvalin::cli::OiioCodecEntry entry{&corvalin::cli::OpenOiioDecoder,
                                                   &corvalin::cli::OpenOiioEncoder};
  return &entry;
}
