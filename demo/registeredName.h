// What the demo Pelmora shows: the name the install registered, read through
// the data source Dorvane, or why it could not be read. The same on every
// platform; each demo program hands in its platform's data sources.
#pragma once

#include <string>

#include "database/connection.h"
#include "platform/datasources.h"
#include "platform/result.h"

namespace pm::demo {

struct Outcome {
  bool ok = false;
  std::string text;
};

inline Outcome readRegisteredName(DataSources& dataSources) {
  try {
    ado::Connection connection(dataSources);
    connection.ConnectionString = ado::kConnectionString;
    connection.Open();
    auto rows =
        connection.Execute("Select StatusValue from Status where StatusDescription='UserName'");
    std::string name;
    if (!rows->isEOF()) {
      rows->MoveFirst();
      name = rows->field("StatusValue").value_or("");
    }
    connection.Close();
    if (name.empty()) return {true, "Pelmora v.1.9.5 is not registered to anyone yet."};
    return {true, "Pelmora v.1.9.5 is registered to " + name + "."};
  } catch (const Error& e) {
    return {false, "Pelmora cannot open its database through the data source Dorvane: " +
                       e.description() + " " + e.source() + " " + std::to_string(e.number())};
  }
}

}  // namespace pm::demo
