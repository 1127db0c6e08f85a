#include "cli/oiio_support.h"

namespace corvalin::cli::oiio {

std::string OneLine(std::string message) {
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  for (size_t at = message.find('\n'); at != std::string::npos; at = message.find('\n', at)) {
    message.replace(at, 1, "; ");
  }
  return message;
}

std::string PendingError(const std::string& fallback) {
  const std::string message = OneLine(OIIO::geterror());
  return message.empty() ? fallback : message;
}

SampleKind KindOf(const std::string& path, OIIO::TypeDesc t) {
  if (t == OIIO::TypeDesc::UINT8) return SampleKind::uint8;
  if (t == OIIO::TypeDesc::UINT16) return SampleKind::uint16;
  if (t == OIIO::TypeDesc::HALF) return SampleKind::half;
  if (t == OIIO::TypeDesc::FLOAT) return SampleKind::float32;
  const std::string name =
      t.basetype == OIIO::TypeDesc::DOUBLE ? "64-bit float" : std::string(t.c_str());
  throw CliError(path + ": " + name +
                 " samples are not supported; use a file of 8 or 16 bits per channel "
                 "(unsigned integer), half or 32-bit float");
}

OIIO::TypeDesc TypeOf(SampleKind kind) {
  switch (kind) {
    case SampleKind::uint8: return OIIO::TypeDesc::UINT8;
    case SampleKind::uint16: return OIIO::TypeDesc::UINT16;
    case SampleKind::half: return OIIO::TypeDesc::HALF;
    case SampleKind::float32: return OIIO::TypeDesc::FLOAT;
  }
  return OIIO::TypeDesc::UINT8;
}

}  // namespace corvalin::cli::oiio
