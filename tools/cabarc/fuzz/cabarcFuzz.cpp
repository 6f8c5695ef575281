// libFuzzer target for the cabinet reader: any bytes may come in; the reader
// must answer with members or an error, and never crash, hang or overrun.
// Built with clang by scripts/fuzz-cabarc, not by the default build.
#include <cstddef>
#include <cstdint>

#include "tools/cabarc/cabinetReader.h"
#include "tools/cabarc/memberNames.h"

namespace {
// Reads every member through and throws the bytes away.
struct Discard : pm::cabarc::ExtractionSink {
  pm::cabarc::OutputHandle begin(std::size_t) override { return pm::cabarc::kDiscardMember; }
  void end(std::size_t, const pm::Status&) override {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto reader = pm::cabarc::CabinetReader::openMemory({data, size});
  if (!reader) return 0;
  auto& r = reader.value();
  std::vector<std::size_t> all;
  for (std::size_t i = 0; i < r.members().size(); ++i) {
    all.push_back(i);
    const auto& m = r.members()[i];
    const pm::cabarc::SafeName safe = pm::cabarc::checkMemberName(m.name);
    if (safe.ok && safe.parts.empty()) __builtin_trap();  // a safe name always has a file part
    for (const auto& part : safe.parts)
      if (part.empty() || part == "..") __builtin_trap();
    (void)pm::cabarc::patternPicksMember("*.dll", m.name);
  }
  Discard discard;
  r.extractEach(all, discard);
  (void)r.takeWarnings();
  return 0;
}
