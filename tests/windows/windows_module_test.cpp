// Loads Corvalin.aex with LoadLibrary and checks what a host sees: the
// property resource byte for byte and its agreement with GlobalSetup, the
// manifest, the export table, the registration export and every command.
// Writes the render digests to a file for comparison with the native module.
// The record layouts of this compiler need no run-time check: including
// sdk/sdk_layout.h checks them at compile time.
//
// Usage: corvalin_windows_test <Corvalin.aex> <digest output file>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "effect/effect_properties.h"
#include "effect/string_table.h"
#include "tests/support/minihost/mini_host.h"
#include "sdk/sdk_layout.h"
#include "tests/windows/render_digest.h"

namespace {

using namespace corvalin;
using minihost::MiniHost;

int failures = 0;
int checks = 0;

#define CHECK(cond, ...)                                          \
  do {                                                            \
    ++checks;                                                     \
    if (!(cond)) {                                                \
      ++failures;                                                 \
      std::printf("FAIL %s:%d: %s: ", __FILE__, __LINE__, #cond); \
      std::printf(__VA_ARGS__);                                   \
      std::printf("\n");                                          \
    }                                                             \
  } while (0)

uint32_t Read32(const unsigned char* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
uint16_t Read16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

std::string Code(uint32_t v) {  // a little-endian four-character code as written
  std::string s(4, ' ');
  for (size_t i = 0; i < 4; ++i) s[3 - i] = static_cast<char>(v >> (8 * i));
  return s;
}

struct Property {
  std::string vendor, key;
  uint32_t id, length;
  std::vector<unsigned char> data;  // length bytes, then the padding up to 4
};

std::vector<unsigned char> Bytes(std::initializer_list<int> b) {
  return std::vector<unsigned char>(b.begin(), b.end());
}
std::vector<unsigned char> Le32(uint32_t v) {
  return Bytes({int(v & 0xFF), int(v >> 8 & 0xFF), int(v >> 16 & 0xFF), int(v >> 24)});
}
std::vector<unsigned char> PascalPadded(const std::string& s) {
  std::vector<unsigned char> out;
  out.push_back(static_cast<unsigned char>(s.size()));
  for (char c : s) out.push_back(static_cast<unsigned char>(c));
  while (out.size() % 4) out.push_back(0);
  return out;
}
std::vector<unsigned char> CPadded(const std::string& s) {
  std::vector<unsigned char> out(s.begin(), s.end());
  out.push_back(0);
  while (out.size() % 4) out.push_back(0);
  return out;
}

void CheckPipl(HMODULE module, const PF_OutData& globalSetup) {
  HRSRC info = FindResourceExA(module, "PIPL", MAKEINTRESOURCEA(16000),
                               MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  CHECK(info != nullptr, "no PIPL resource 16000 in language 1033");
  if (info == nullptr) return;
  const DWORD size = SizeofResource(module, info);
  const auto* p = static_cast<const unsigned char*>(LockResource(LoadResource(module, info)));
  CHECK(p != nullptr && size >= 10, "PIPL resource unreadable (%lu bytes)", size);
  if (p == nullptr || size < 10) return;
  CHECK(Read16(p) == 1, "first word %u", Read16(p));
  CHECK(Read32(p + 2) == 0, "list version %u", Read32(p + 2));
  const uint32_t count = Read32(p + 6);
  CHECK(count == 12, "property count %u", count);

  std::vector<Property> props;
  size_t at = 10;
  for (uint32_t i = 0; i < count && at + 16 <= size; ++i) {
    Property prop{Code(Read32(p + at)),
                  Code(Read32(p + at + 4)),
                  Read32(p + at + 8),
                  Read32(p + at + 12),
                  {}};
    at += 16;
    const size_t padded = (prop.length + 3u) & ~size_t{3};
    CHECK(at + padded <= size, "property %u runs past the resource", i);
    if (at + padded > size) return;
    prop.data.assign(p + at, p + at + padded);
    at += padded;
    props.push_back(prop);
  }
  CHECK(at == size, "resource is %lu bytes, properties end at %zu", size, at);

  struct Expected {
    const char* key;
    uint32_t length;
    std::vector<unsigned char> data;
  };
  const std::vector<unsigned char> infoFlags = Bytes({0, 0, 0, 0});
  const Expected expected[] = {
      {"kind", 4, Bytes({'T', 'K', 'F', 'e'})},
      {"name", 12, PascalPadded("Corvalin")},
      {"catg", 16, PascalPadded("Vantrell VFX")},
      {"8664", 12, CPadded("EffectMain")},
      {"ePVR", 4, Bytes({2, 0, 0, 0})},
      {"eSVR", 4, Bytes({13, 0, 27, 0})},
      {"eVER", 4, Le32(0x00080001)},
      {"eINF", 2, infoFlags},
      {"eGLO", 4, Le32(0x02000800)},
      {"eGL2", 4, Le32(0x08000000)},
      {"eMNA", 24, PascalPadded("Vantrell VFX Corvalin")},
      {"aeFL", 4, Le32(0)},
  };
  CHECK(props.size() == 12, "parsed %zu properties", props.size());
  for (size_t i = 0; i < props.size() && i < 12; ++i) {
    const Property& got = props[i];
    const Expected& want = expected[i];
    CHECK(got.vendor == "8BIM", "property %zu vendor '%s'", i, got.vendor.c_str());
    CHECK(got.key == want.key, "property %zu key '%s', want '%s'", i, got.key.c_str(), want.key);
    CHECK(got.id == 0, "property %zu ID %u", i, got.id);
    CHECK(got.length == want.length, "%s length %u, want %u", want.key, got.length, want.length);
    CHECK(got.data == want.data, "%s data differs", want.key);
  }
  if (props.size() == 12) {
    // The resource and GlobalSetup agree, and the strings are those of the header.
    CHECK(Read32(props[6].data.data()) == globalSetup.my_version, "eVER vs my_version");
    CHECK(Read32(props[8].data.data()) == static_cast<uint32_t>(globalSetup.out_flags),
          "eGLO vs out_flags");
    CHECK(Read32(props[9].data.data()) == static_cast<uint32_t>(globalSetup.out_flags2),
          "eGL2 vs out_flags2");
    CHECK(props[1].data == PascalPadded(CORVALIN_PIPL_NAME), "name vs header");
    CHECK(props[2].data == PascalPadded(CORVALIN_PIPL_CATEGORY), "category vs header");
    CHECK(props[10].data == PascalPadded(CORVALIN_PIPL_MATCH_NAME), "match name vs header");
    CHECK(props[3].data == CPadded(CORVALIN_ENTRY_POINT), "entry point vs header");
  }
}

void CheckManifest(HMODULE module) {
  HRSRC info = FindResourceExA(module, MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(2),
                               MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  CHECK(info != nullptr, "no manifest resource (type 24, ID 2)");
  if (info == nullptr) return;
  const auto* p = static_cast<const char*>(LockResource(LoadResource(module, info)));
  const std::string text(p, SizeofResource(module, info));
  CHECK(text.find("level=\"asInvoker\"") != std::string::npos, "manifest lacks asInvoker");
  CHECK(text.find("uiAccess=\"false\"") != std::string::npos, "manifest lacks uiAccess false");
}

void CheckExports(HMODULE module) {
  const auto* base = reinterpret_cast<const unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
  CHECK(nt->FileHeader.Machine == IMAGE_FILE_MACHINE_AMD64, "machine %x", nt->FileHeader.Machine);
  CHECK(nt->FileHeader.Characteristics & IMAGE_FILE_DLL, "not a DLL");
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  CHECK(dir.VirtualAddress != 0, "no export table");
  if (dir.VirtualAddress == 0) return;
  const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  std::set<std::string> found;
  for (DWORD i = 0; i < exports->NumberOfNames; ++i)
    found.insert(reinterpret_cast<const char*>(base + names[i]));
  CHECK(exports->NumberOfFunctions == 2, "%lu exported functions", exports->NumberOfFunctions);
  CHECK((found == std::set<std::string>{"EffectMain", "PluginDataEntryFunction"}),
        "exported names differ (%zu names)", found.size());
}

void CheckCommands(const minihost::EffectModule& module, PF_OutData* globalSetup) {
  MiniHost host(module);
  CHECK(host.GlobalSetup() == PF_Err_NONE, "GlobalSetup failed");
  *globalSetup = host.outData();
  CHECK(globalSetup->my_version == 0x00080001u, "my_version %x", globalSetup->my_version);
  CHECK(globalSetup->out_flags == 0x02000800, "out_flags %x", globalSetup->out_flags);
  CHECK(globalSetup->out_flags2 == 0x08000000, "out_flags2 %x", globalSetup->out_flags2);

  for (PF_Cmd cmd : {2, 3, 5, 10, 12, 30, 99}) {
    PF_OutData out;
    std::memset(&out, 0x5A, sizeof out);
    PF_OutData before = out;
    CHECK(host.Command(cmd, &out) == PF_Err_NONE, "selector %d", cmd);
    CHECK(std::memcmp(&out, &before, sizeof out) == 0, "selector %d changed PF_OutData", cmd);
  }

  std::string about;
  CHECK(host.About(&about) == PF_Err_NONE, "About failed");
  CHECK(about == std::string("Corvalin v1.0\r") + GetString(StrID_Description), "About text '%s'",
        about.c_str());
  CHECK(host.Count(minihost::Service::acquireSuite) == 1 &&
            host.Count(minihost::Service::releaseSuite) == 1,
        "About suite use");

  // A thrown host error crosses the module's own frames and comes back as 516.
  minihost::HostBehaviour failing;
  failing.acquireError = 13;
  MiniHost refusing(module, failing);
  std::string unused;
  CHECK(refusing.About(&unused) == PF_Err_BAD_CALLBACK_PARAM, "About without suite");
  CHECK(refusing.Count(minihost::Service::releaseSuite) == 0, "released an unheld suite");

  CHECK(host.ParamsSetup() == PF_Err_NONE, "ParamsSetup failed");
  CHECK(host.outData().num_params == 5, "num_params %d", host.outData().num_params);
  const auto& defs = host.paramDefs();
  CHECK(defs.size() == 4, "%zu parameters", defs.size());
  if (defs.size() == 4) {
    const PF_ParamType types[] = {PF_Param_CHECKBOX, PF_Param_COLOR, PF_Param_FLOAT_SLIDER,
                                  PF_Param_FLOAT_SLIDER};
    for (size_t i = 0; i < 4; ++i) {
      CHECK(defs[i].uu.id == static_cast<A_long>(i + 1) && defs[i].param_type == types[i],
            "parameter %zu", i + 1);
    }
    CHECK(std::strcmp(defs[0].u.bd.u.nameptr, "Transparent") == 0 && defs[0].flags == 0x20,
          "checkbox");
    CHECK(defs[2].u.fs_d.valid_max == 100.0f && defs[2].u.fs_d.value == 1.0 &&
              defs[2].u.fs_d.curve_tolerance == 0.05f && defs[2].u.fs_d.precision == 1,
          "Smoother Range");
    CHECK(defs[3].u.fs_d.slider_max == 1.0f && defs[3].u.fs_d.dephault == 0.0f, "Line Weight");
  }
  minihost::HostBehaviour refuseSecond;
  refuseSecond.refuseParamNumber = 2;
  MiniHost picky(module, refuseSecond);
  CHECK(picky.ParamsSetup() == PF_Err_OUT_OF_MEMORY && picky.paramDefs().size() == 1 &&
            picky.Count(minihost::Service::addParam) == 2,
        "refused second parameter");

  minihost::Registration r;
  CHECK(host.Register(&r) == A_Err_NONE && r.calls == 1, "registration");
  CHECK(r.name == "Corvalin" && r.matchName == "ADBE Corvalin" && r.category == "Sample Plug-ins" &&
            r.entryPoint == "EffectMain" && r.kind == 0x65464B54 && r.apiVersionMajor == 13 &&
            r.apiVersionMinor == 27 && r.reservedInfo == 8,
        "registration arguments");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: corvalin_windows_test <Corvalin.aex> <digest output file>\n");
    return 2;
  }
  try {
    try {
      minihost::ModuleFile missing("C:\\no such folder\\Corvalin.aex");
      CHECK(false, "loaded a missing module");
    } catch (const std::runtime_error& e) {
      CHECK(std::string(e.what()).find("no such folder") != std::string::npos, "%s", e.what());
    }
    minihost::ModuleFile file(argv[1]);
    HMODULE module = GetModuleHandleA(argv[1]);
    if (module == nullptr) module = LoadLibraryA(argv[1]);
    CHECK(module != nullptr, "module handle");
    if (module == nullptr) return 1;

    PF_OutData globalSetup{};
    CheckCommands(file.entryPoints(), &globalSetup);
    CheckPipl(module, globalSetup);
    CheckManifest(module);
    CheckExports(module);

    FILE* out = std::fopen(argv[2], "wb");
    CHECK(out != nullptr, "cannot write %s", argv[2]);
    if (out != nullptr) {
      for (const auto& line : digest::RenderDigests(file.entryPoints()))
        std::fprintf(out, "%s\n", line.c_str());
      CHECK(std::fclose(out) == 0, "cannot finish %s", argv[2]);
    }
  } catch (const std::exception& e) {
    std::printf("FAIL: %s\n", e.what());
    return 1;
  }
  std::printf("%d checks, %d failed\n", checks, failures);
  return failures == 0 ? 0 : 1;
}
