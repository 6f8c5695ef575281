// What a plan shows: the report lines the install would write, then the
// changes it would make grouped as a person reads them, what the plan could
// not know, and the exit code the install would give. As text (after the
// report lines, which are printed as they are written) or as one JSON
// document (schema "pmsetup-plan/1", README "The plan").
#pragma once

#include <string>
#include <vector>

#include "platform/recording.h"
#include "unattended/exitCodes.h"
#include "unattended/textWriter.h"

namespace pm::unattended {

struct PlanRun {
  std::vector<std::string> report;  // the report lines, as the install writes them
  std::string refusal;              // why the install would not start; "" when it would
  int outcome = 0;                  // outcome.h
  ExitNumbers numbers = ExitNumbers::Linux;
};

// The changes after the report lines: the text shown below them.
void writePlanText(TextWriter& out, PlanPlatform& plan, const PlanRun& run);
// Everything, the report lines too, as one JSON document.
void writePlanJson(TextWriter& out, PlanPlatform& plan, const PlanRun& run);

// The report text (lines each ended by CR LF) as its lines.
std::vector<std::string> reportLines(const std::string& reportText);

}  // namespace pm::unattended
