// Cabinets that belong to a set: a member whose data begin in the previous
// cabinet or go on in the next one is not whole in this file. Cabarc reads one
// cabinet at a time and never follows a set, so such a member is reported, not
// extracted; the members held whole are extracted as from any cabinet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pm::cabarc {

struct CabinetSet {
  std::string previous, next;  // the neighbours the header names ("" when none)
  // Per member, in stored order: the neighbour that holds part of its data, or
  // "" when this cabinet holds it whole.
  std::vector<std::string> elsewhere;
  std::vector<std::uint32_t> folders;  // per member, its folder index as stored
};

// Reads the headers of a cabinet from its start through `read` (which returns
// the bytes it gave, fewer at the end). Empty when the headers are not whole;
// the cabinet library then says what is wrong with them.
std::optional<CabinetSet> readCabinetSet(
    const std::function<std::size_t(void* buffer, std::size_t bytes)>& read);

// Why a member that `neighbour` holds part of is not extracted, in words.
std::string notWholeReason(const std::string& neighbour);

}  // namespace pm::cabarc
