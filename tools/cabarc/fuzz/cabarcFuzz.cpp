// libFuzzer target for the cabinet reader: any bytes may come in; the reader
// must answer with members or an error, and never crash, hang or overrun.
// Built with clang by scripts/fuzz-cabarc, not by the default build.
#include <cstddef>
#include <cstdint>

#include "tools/cabarc/cabinetReader.h"
#include "tools/cabarc/memberNames.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto reader = pm::cabarc::CabinetReader::openMemory({data, size});
  if (!reader) return 0;
  auto& r = reader.value();
  for (std::size_t i = 0; i < r.members().size(); ++i) {
    const auto& m = r.members()[i];
    const pm::cabarc::SafeName safe = pm::cabarc::checkMemberName(m.name);
    if (safe.ok && safe.parts.empty()) __builtin_trap();  // a safe name always has a file part
    for (const auto& part : safe.parts)
      if (part.empty() || part == "..") __builtin_trap();
    (void)pm::cabarc::patternPicksMember("*.dll", m.name);
    (void)r.verify(i);
  }
  (void)r.takeWarnings();
  return 0;
}
