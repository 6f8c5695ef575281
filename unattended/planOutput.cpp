#include "unattended/planOutput.h"

#include <cstdio>

#include "platform/text.h"
#include "unattended/runLog.h"

namespace pm::unattended {

namespace {

// The changes of a plan, grouped as they are shown.
struct Groups {
  std::vector<FileChange> files, database;
  std::vector<RegistryChange> registry, dataSource;
};

bool isDatabaseFile(const std::string& path) {
  const std::string name = toLower(path.substr(path.find_last_of('\\') + 1));
  return name.starts_with("dorvane") && name.ends_with(".mdb");
}

Groups grouped(PlanPlatform& plan) {
  Groups g;
  for (FileChange& change : plan.fileChanges())
    (isDatabaseFile(change.path) ? g.database : g.files).push_back(std::move(change));
  for (RegistryChange& change : plan.registryChanges()) {
    const bool odbc = toLower(change.key).starts_with("software\\odbc\\");
    (odbc ? g.dataSource : g.registry).push_back(std::move(change));
  }
  return g;
}

std::string kindOf(const FileChange& c) {
  if (c.before.link && !c.after.exists) return "link-removed";
  if (c.before.folder || c.after.folder) return c.after.exists ? "folder-made" : "folder-removed";
  if (!c.before.exists) return "new";
  return c.after.exists ? "replaced" : "deleted";
}

// The part a database file plays in the database stage.
std::string roleOf(const FileChange& c) {
  const std::string name = toLower(c.path.substr(c.path.find_last_of('\\') + 1));
  if (c.origin.starts_with("renamed from")) return "older-backup";
  if (name == "dorvanebkup.mdb") return "backup";
  if (name == "dorvane.mdb") return c.after.exists ? "replaced" : "deleted";
  return kindOf(c);
}

std::string regValueText(const std::optional<RegValue>& v) {
  if (!v) return "(none)";
  if (v->type == ValueType::Dword) return "dword:" + std::to_string(v->dword);
  return "\"" + v->text + "\"";
}

std::string fileText(const FileState& s) {
  if (!s.exists) return "(none)";
  if (s.link) return "link";
  if (s.folder) return "folder";
  return std::to_string(s.size) + " bytes" + (s.time ? ", " + s.time->text() : "");
}

std::string valueName(const std::string& name) {
  return name.empty() ? "(Default)" : name;
}

}  // namespace

std::vector<std::string> reportLines(const std::string& reportText) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < reportText.size()) {
    std::size_t end = reportText.find("\r\n", at);
    if (end == std::string::npos) end = reportText.size();
    lines.push_back(reportText.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

void writePlanText(TextWriter& out, PlanPlatform& plan, const PlanRun& run) {
  const Groups g = grouped(plan);
  out << "\n=== Plan: what this install would change on this machine (nothing has been "
         "changed) ===\n";
  if (!run.refusal.empty()) out << "The install would not start: " << run.refusal << "\n";
  const auto section = [&](const char* title, bool empty) {
    out << "\n" << title << (empty ? ": none\n" : ":\n");
  };
  section("Files", g.files.empty());
  for (const FileChange& c : g.files) {
    const std::string kind = kindOf(c);
    out << "  " << kind << "  " << c.path;
    if (kind == "replaced") out << "  " << fileText(c.before) << " -> " << fileText(c.after);
    if (kind == "new") out << "  " << fileText(c.after);
    if (kind == "deleted") out << "  was " << fileText(c.before);
    if (kind == "folder-removed") out << "  with the " << c.folderFiles << " files in it";
    out << "\n";
  }
  section("Database", g.database.empty() && plan.record.statements.empty());
  for (const FileChange& c : g.database) {
    out << "  " << roleOf(c) << "  " << c.path << "  " << fileText(c.before) << " -> "
        << fileText(c.after);
    if (!c.origin.empty()) out << "  (" << c.origin << ")";
    out << "\n";
  }
  for (const StatementRecord& s : plan.record.statements) {
    out << "  statement on " << s.dataSource << " (" << s.database << "): " << s.statement;
    for (std::size_t i = 0; i < s.parameters.size(); ++i)
      out << (i == 0 ? "  with " : ", ") << "\"" << s.parameters[i] << "\"";
    out << "\n";
  }
  for (const auto& [title, changes] :
       {std::pair{"Registry values", &g.registry}, std::pair{"Data source", &g.dataSource}}) {
    section(title, changes->empty());
    for (const RegistryChange& c : *changes) {
      out << "  " << rootKeyName(c.root) << "\\" << c.key;
      if (c.name.empty() && !c.after) {
        out << "  (key made)\n";
        continue;
      }
      out << "  " << valueName(c.name) << ": " << regValueText(c.before) << " -> "
          << regValueText(c.after) << "\n";
    }
  }
  section("Program group", plan.record.ddeCommands.empty());
  for (const DdeRecord& d : plan.record.ddeCommands) out << "  " << d.command << "\n";
  section("Programs the install would start, in order", plan.record.programs.empty());
  for (const ProgramRecord& p : plan.record.programs) {
    out << "  " << p.commandLine << "    ";
    if (!p.waited) {
      out << "(when \"Complete\" is pressed; not started by the plan)\n";
    } else if (p.ranForReal) {
      out << "(run by the plan, writing only into its own folder: exit code " << p.exitCode
          << ")\n";
    } else {
      out << "(not started by the plan; exit code expected " << p.exitCode << ")\n";
    }
  }
  out << "\nWhat a plan cannot know in advance:\n";
  out << "  - the clock: dates and times in the report are those of the plan's run\n";
  out << "  - anything that changes on the machine between the plan and the install\n";
  for (const std::string& u : plan.record.unknowns) out << "  - " << u << "\n";
  out << "\nOutcome: " << outcomeText(run.outcome) << "\n";
  out << "Exit code: " << exitCodeIn(run.numbers, run.outcome) << "\n";
}

namespace {

std::string json(const std::string& text) {
  std::string out = "\"";
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
      out += buffer;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

std::string json(const FileState& s) {
  if (!s.exists) return "null";
  if (s.link) return "{\"link\": true}";
  if (s.folder) return "{\"folder\": true}";
  return "{\"size\": " + std::to_string(s.size) +
         ", \"time\": " + (s.time ? json(s.time->text()) : "null") + "}";
}

std::string json(const std::optional<RegValue>& v) {
  if (!v) return "null";
  if (v->type == ValueType::Dword)
    return "{\"type\": \"dword\", \"data\": " + std::to_string(v->dword) + "}";
  return "{\"type\": \"string\", \"data\": " + json(v->text) + "}";
}

// Writes `items` as a JSON array, one element a line.
template <typename T, typename F>
void array(TextWriter& out, const char* name, const std::vector<T>& items, F element,
           bool last = false) {
  out << "  " << json(name) << ": [";
  for (std::size_t i = 0; i < items.size(); ++i)
    out << (i ? ",\n    " : "\n    ") << element(items[i]);
  out << (items.empty() ? "]" : "\n  ]") << (last ? "\n" : ",\n");
}

std::string fileJson(const FileChange& c, const std::string& kind) {
  return "{\"path\": " + json(c.path) + ", \"change\": " + json(kind) +
         ", \"before\": " + json(c.before) + ", \"after\": " + json(c.after) +
         ", \"origin\": " + json(c.origin) +
         (kindOf(c) == "folder-removed" ? ", \"files\": " + std::to_string(c.folderFiles) : "") +
         "}";
}

std::string registryJson(const RegistryChange& c) {
  return "{\"root\": " + json(rootKeyName(c.root)) + ", \"key\": " + json(c.key) +
         ", \"name\": " + json(c.name) + ", \"before\": " + json(c.before) +
         ", \"after\": " + json(c.after) + ", \"keyMade\": " + (c.keyMade ? "true" : "false") + "}";
}

}  // namespace

void writePlanJson(TextWriter& out, PlanPlatform& plan, const PlanRun& run) {
  const Groups g = grouped(plan);
  const PlanRecord& r = plan.record;
  out << "{\n  \"schema\": \"pmsetup-plan/1\",\n";
  out << "  \"changed\": false,\n";
  out << "  \"refused\": " << (run.refusal.empty() ? "null" : json(run.refusal)) << ",\n";
  array(out, "report", run.report, [](const std::string& l) { return json(l); });
  array(out, "files", g.files, [](const FileChange& c) { return fileJson(c, kindOf(c)); });
  array(out, "database", g.database, [](const FileChange& c) { return fileJson(c, roleOf(c)); });
  array(out, "statements", r.statements, [](const StatementRecord& s) {
    std::string params;
    for (const std::string& p : s.parameters) params += (params.empty() ? "" : ", ") + json(p);
    return "{\"dataSource\": " + json(s.dataSource) + ", \"database\": " + json(s.database) +
           ", \"statement\": " + json(s.statement) + ", \"parameters\": [" + params + "]}";
  });
  array(out, "registry", g.registry, registryJson);
  array(out, "dataSource", g.dataSource, registryJson);
  array(out, "programGroup", r.ddeCommands, [](const DdeRecord& d) {
    return "{\"service\": " + json(d.service) + ", \"topic\": " + json(d.topic) +
           ", \"command\": " + json(d.command) + "}";
  });
  array(out, "programs", r.programs, [](const ProgramRecord& p) {
    return "{\"commandLine\": " + json(p.commandLine) +
           ", \"waited\": " + (p.waited ? "true" : "false") +
           ", \"ranByPlan\": " + (p.ranForReal ? "true" : "false") +
           ", \"exitCode\": " + std::to_string(p.exitCode) + "}";
  });
  std::vector<std::string> unknowns{
      "the clock: dates and times in the report are those of the plan's run",
      "anything that changes on the machine between the plan and the install"};
  unknowns.insert(unknowns.end(), r.unknowns.begin(), r.unknowns.end());
  array(out, "unknowns", unknowns, [](const std::string& u) { return json(u); });
  out << "  \"outcome\": " << json(outcomeText(run.outcome)) << ",\n";
  out << "  \"exitCode\": " << exitCodeIn(run.numbers, run.outcome) << "\n}\n";
}

}  // namespace pm::unattended
