// The store files themselves: their format, what is read from hand-made or
// regedit-made files, damaged files, crashes and two writers at once.
#include "platform/posix/posixRegistryStore.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/posix/testMachine.h"

namespace pm::posix {
namespace {

namespace fs = std::filesystem;
using pm::testing::readFile;
using pm::testing::writeFile;
constexpr RootKey HKCU = RootKey::CurrentUser;
constexpr RootKey HKCR = RootKey::ClassesRoot;

std::string withCrLf(const std::string& lf) {
  std::string out;
  for (char c : lf) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

class PosixRegistryStoreTest : public ::testing::Test {
 protected:
  fs::path hkcu() const { return temp.machine.registryFile("HKEY_CURRENT_USER"); }
  std::optional<RegValue> read(const std::string& key, const std::string& name) {
    auto r = store.readValue(HKCU, key, name);
    EXPECT_TRUE(r.ok()) << r.message();
    return r ? r.value() : std::nullopt;
  }
  void write(const std::string& key, const std::string& name, const RegValue& value,
             RootKey root = HKCU) {
    ASSERT_TRUE(store.writeValue(root, key, name, value).ok()) << key << " " << name;
  }

  TempMachine temp;
  PosixRegistryStore store{temp.machine};
};

TEST_F(PosixRegistryStoreTest, WritesTheRegeditFormat) {
  write("Software\\Korrimel Software\\Pelmora", "AppPath",
        RegValue::string("C:\\Program Files\\Pelmora"));
  // A new key below an existing one keeps the existing spelling ("Software").
  write("SOFTWARE\\ODBC\\ODBC.INI\\Dorvane", "DriverId", RegValue::number(25));
  write("Software\\ODBC\\ODBC.INI\\Dorvane", "", RegValue::string("say \"hi\""));
  write(".pmd", "", RegValue::string("Pelmora.Document"), HKCR);
  // The writes are in the log beside the file until the store folds it (at the
  // end of the process, or here).
  EXPECT_TRUE(fs::exists(hkcu().string() + ".log"));
  ASSERT_TRUE(store.flush().ok());
  EXPECT_FALSE(fs::exists(hkcu().string() + ".log"));
  EXPECT_EQ(readFile(hkcu()), withCrLf(R"(Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software]

[HKEY_CURRENT_USER\Software\Korrimel Software]

[HKEY_CURRENT_USER\Software\Korrimel Software\Pelmora]
"AppPath"="C:\\Program Files\\Pelmora"

[HKEY_CURRENT_USER\Software\ODBC]

[HKEY_CURRENT_USER\Software\ODBC\ODBC.INI]

[HKEY_CURRENT_USER\Software\ODBC\ODBC.INI\Dorvane]
"DriverId"=dword:00000019
@="say \"hi\""

)"));
  EXPECT_EQ(readFile(temp.machine.registryFile("HKEY_CLASSES_ROOT")),
            withCrLf("Windows Registry Editor Version 5.00\n\n"
                     "[HKEY_CLASSES_ROOT\\.pmd]\n@=\"Pelmora.Document\"\n\n"));
}

TEST_F(PosixRegistryStoreTest, ReadsWhatAPersonOrRegeditWrites) {
  const std::string text = R"(Windows Registry Editor Version 5.00

; prepared by hand
[hkey_current_user\Software\Korrimel Software\Pelmora]
"AppPath"="D:\\Apps\\Pelmora"
  "Count" = DWORD:0000001F
"Say \\\"x"="a \"quoted\" word, C:\\"

[HKEY_CURRENT_USER\Software\Other]
"Path"=hex(2):43,00,3a,00,5c,00,78,00,00,00
"Big"=hex(4):01,02,00,00
"Blob"=hex:01,02,03,\
  04,05
)";
  // UTF-16LE with its byte order mark, as regedit exports.
  std::string utf16 = "\xFF\xFE";
  for (char c : withCrLf(text)) utf16 += std::string{c, '\0'};
  for (const std::string& bytes : {text, "\xEF\xBB\xBF" + withCrLf(text), utf16}) {
    writeFile(hkcu(), bytes);
    EXPECT_EQ(read("Software\\Korrimel Software\\Pelmora", "AppPath"),
              RegValue::string("D:\\Apps\\Pelmora"));
    EXPECT_EQ(read("Software\\Korrimel Software\\Pelmora", "count"), RegValue::number(31));
    // Backslashes pair from the start of a run: only an odd run escapes a quote.
    EXPECT_EQ(read("Software\\Korrimel Software\\Pelmora", "Say \\\"x"),
              RegValue::string("a \"quoted\" word, C:\\"));
    EXPECT_EQ(read("Software\\Other", "Path"), RegValue::string("C:\\x"));
    EXPECT_EQ(read("Software\\Other", "Big"), RegValue::number(0x201));
    auto blob = store.readValue(HKCU, "Software\\Other", "Blob");
    EXPECT_FALSE(blob.ok());  // binary data is no string or number
    EXPECT_NE(blob.message().find("Blob"), std::string::npos) << blob.message();
  }
  writeFile(hkcu(), "");  // an empty file is an empty store
  EXPECT_EQ(read("Software\\Korrimel Software\\Pelmora", "AppPath"), std::nullopt);
}

TEST_F(PosixRegistryStoreTest, AKeyOfTheFileKeepsTheSpellingItWasFirstGivenAndAllItsLines) {
  // Each name is spelt as the first line that names it, a parent included;
  // a key given twice reads, and is written, as one.
  writeFile(hkcu(), R"(Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\SOFTWARE\Vendor A]
"x"="1"

[HKEY_CURRENT_USER\Software\VENDOR B\Tool]
"y"="2"

[HKEY_CURRENT_USER\software\vendor b]
"z"="3"

[HKEY_CURRENT_USER\Software\Vendor B\TOOL]
"w"="5"
)");
  EXPECT_EQ(read("software\\vendor b\\tool", "y"), RegValue::string("2"));
  EXPECT_EQ(read("software\\vendor b\\tool", "w"), RegValue::string("5"));
  write("software\\vendor b\\tool\\New", "v", RegValue::number(1));
  write("Software\\Vendor B", "z", RegValue::string("4"));
  write("Software\\Vendor B\\Tool", "y", RegValue::string("6"));
  ASSERT_TRUE(store.flush().ok());
  EXPECT_EQ(readFile(hkcu()), R"(Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\SOFTWARE\Vendor A]
"x"="1"

[HKEY_CURRENT_USER\Software\VENDOR B\Tool]
"y"="6"

[HKEY_CURRENT_USER\software\vendor b]
"z"="4"

[HKEY_CURRENT_USER\Software\Vendor B\TOOL]
"w"="5"

[HKEY_CURRENT_USER\SOFTWARE\VENDOR B\Tool\New]
"v"=dword:00000001

)");
}

TEST_F(PosixRegistryStoreTest, AFoldChangesOnlyTheLinesOfWhatWasWritten) {
  // Keys no write touched keep their bytes, whatever the file's order, parents,
  // spacing, line ends and encoding; a changed value's line takes the place of
  // its old lines (a hex value's too), a new value follows the key's last value,
  // a new key goes after the key before it in a file in tree order, else last.
  const struct {
    const char* before;
    const char* after;
  } cases[] = {
      {R"(Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Zeta]
"Blob"=hex:01,02,03,\
  04,05
"Multi"=hex(7):41,00,00,00,00,00
; kept

[hkey_current_user\Software\Alpha]
  "Count" = DWORD:1F)",
       R"(Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Zeta]
"Blob"="y"
"Multi"=hex(7):41,00,00,00,00,00
"New"=dword:00000001
; kept

[hkey_current_user\Software\Alpha]
  "Count" = DWORD:1F

[HKEY_CURRENT_USER\Software\Beta]

[HKEY_CURRENT_USER\Software\Beta\Sub]
"v"="w"

)"},
      {R"(Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software]

[HKEY_CURRENT_USER\Software\Beta]
"x"="1"

[HKEY_CURRENT_USER\Software\Zeta]
"Blob"=dword:00000002
)",
       R"(Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software]

[HKEY_CURRENT_USER\Software\Beta]
"x"="1"

[HKEY_CURRENT_USER\Software\Beta\Sub]
"v"="w"

[HKEY_CURRENT_USER\Software\Zeta]
"Blob"="y"
"New"=dword:00000001
)"},
  };
  const auto utf16 = [](const std::string& text) {
    std::string out = "\xFF\xFE";
    for (char c : text) out += std::string{c, '\0'};
    return out;
  };
  for (const auto& c : cases) {
    for (const auto& encode : std::vector<std::function<std::string(const std::string&)>>{
             [](const std::string& t) { return t; }, withCrLf,
             [&](const std::string& t) { return utf16(withCrLf(t)); }}) {
      writeFile(hkcu(), encode(c.before));
      write("Software\\Zeta", "blob", RegValue::string("y"));
      write("Software\\Zeta", "New", RegValue::number(1));
      write("Software\\Beta\\Sub", "v", RegValue::string("w"));
      ASSERT_TRUE(store.flush().ok());
      EXPECT_EQ(readFile(hkcu()), encode(c.after));
    }
  }
}

TEST_F(PosixRegistryStoreTest, AUtf16FileKeepsEveryCharacterThroughAFold) {
  // Characters of one, two and three UTF-8 bytes, a surrogate pair and a
  // surrogate without its pair, in a key's name and a value's: read as UTF-8,
  // written back unit for unit when another key's value changes.
  const auto bytes = [](std::u16string_view units) {
    std::string out = "\xFF\xFE";
    for (char16_t u : units)
      out += std::string{static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
    return out;
  };
  const std::u16string head =
      u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\\u00C5\u20AC]\r\n"
      u"\"N\"=\"\u00E9 \u20AC \U0001F600 \xD800 x\"\r\n\r\n[HKEY_CURRENT_USER\\Software\\B]\r\n";
  writeFile(hkcu(), bytes(head + u"\"v\"=\"1\"\r\n"));
  EXPECT_EQ(read("Software\\\xC3\x85\xE2\x82\xAC", "N"),
            RegValue::string("\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xED\xA0\x80 x"));
  write("Software\\B", "v", RegValue::string("\xC3\xBC\xF0\x9F\x98\x80"));
  ASSERT_TRUE(store.flush().ok());
  EXPECT_EQ(readFile(hkcu()), bytes(head + u"\"v\"=\"\u00FC\U0001F600\"\r\n"));
}

TEST_F(PosixRegistryStoreTest, ALargeStoreGetsTheKeysMadeAppendedInPlace) {
  // Keys made go at the end even of a file in tree order, and a fold that only
  // made keys appends them to the same file; one that changed a key's values
  // rewrites it, the keys made still at the end. In every encoding, and after a
  // last line without its line end.
  store.appendFoldBytes = 0;
  const std::string before =
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software]\n\n"
      "[HKEY_CURRENT_USER\\Software\\Alpha]\n\"x\"=\"1\"\n\n[HKEY_CURRENT_USER\\Software\\Zeta]\n"
      "\"z\"=dword:00000002";
  const std::string made =
      "\n\n[HKEY_CURRENT_USER\\Software\\Beta]\n\n[HKEY_CURRENT_USER\\Software\\Beta\\Sub]\n"
      "\"v\"=\"w\"\n\n";
  const auto utf16 = [](const std::string& text) {
    std::string out = "\xFF\xFE";
    for (char c : text) out += std::string{c, '\0'};
    return out;
  };
  for (const auto& encode : std::vector<std::function<std::string(const std::string&)>>{
           [](const std::string& t) { return t; }, withCrLf,
           [&](const std::string& t) { return utf16(withCrLf(t)); }}) {
    writeFile(hkcu(), encode(before));
    struct stat first {};
    ASSERT_EQ(::stat(hkcu().c_str(), &first), 0);
    write("Software\\Beta\\Sub", "v", RegValue::string("w"));
    write("Software\\Zeta", "z", RegValue::number(2));  // as it was: no change
    ASSERT_TRUE(store.flush().ok());
    EXPECT_EQ(readFile(hkcu()), encode(before + made));
    struct stat second {};
    ASSERT_EQ(::stat(hkcu().c_str(), &second), 0);
    EXPECT_EQ(second.st_ino, first.st_ino);

    write("Software\\Alpha", "x", RegValue::string("2"));
    write("Software\\Gamma", "g", RegValue::number(3));
    ASSERT_TRUE(store.flush().ok());
    std::string after =
        before + made + "[HKEY_CURRENT_USER\\Software\\Gamma]\n\"g\"=dword:00000003\n\n";
    after.replace(after.find("\"x\"=\"1\""), 7, "\"x\"=\"2\"");
    EXPECT_EQ(readFile(hkcu()), encode(after));
    EXPECT_EQ(read("Software\\Beta\\Sub", "v"), RegValue::string("w"));
    EXPECT_FALSE(fs::exists(hkcu().string() + ".log"));
  }
}

TEST_F(PosixRegistryStoreTest, ADamagedFileIsReportedWithItsLineAndNeverOverwritten) {
  const std::string good =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\A]\r\n";
  const struct {
    std::string bytes;
    int line;
    const char* what;
  } cases[] = {
      {"Windows Registry Editor\r\n", 1, "not a registry file"},
      {"Windows Registry Editor Version 5.00\r\n\"x\"=\"y\"\r\n", 2, "before the first key"},
      {good + "\"AppPath\"=\"C:\\\\Pel\r\n", 4, "missing closing quote"},
      {good + "\"n\"=dword:123456789\r\n", 4, "dword"},
      {good + "\"n\"=text\r\n", 4, "unrecognised value data"},
      {good + "[HKEY_LOCAL_MACHINE\\Software]\r\n", 4, "not under HKEY_CURRENT_USER"},
      {good + "[HKEY_CURRENT_USER\\Software\r\n", 4, "must end in"},
      {good + "\"n\"=hex:01,\\\r\n", 4, "end of the file"},
      // Lines of the usual shapes but for one byte (most lines are checked
      // by a quicker road than these reports come from).
      {good + "\"n\"=\"C:\\\\Pel\\\"\r\n", 4, "missing closing quote of the value data"},
      {good + "\"n\\\"=\"y\"\r\n", 4, "expected \"=\""},
      {good + "\"n\"=\"a\"b\"\r\n", 4, "text after the closing quote"},
      {good + "\"n\"=dword:0000001G\r\n", 4, "dword"},
  };
  for (const auto& c : cases) {
    writeFile(hkcu(), c.bytes);
    const std::string where = hkcu().string() + ": line " + std::to_string(c.line) + ": ";
    auto r = store.readValue(HKCU, "Software\\A", "n");
    ASSERT_FALSE(r.ok()) << c.bytes;
    EXPECT_EQ(r.message().rfind(where, 0), 0u) << r.message();
    EXPECT_NE(r.message().find(c.what), std::string::npos) << r.message();
    EXPECT_FALSE(store.keyExists(HKCU, "Software").ok());
    EXPECT_EQ(store.writeValue(HKCU, "Software\\A", "n", RegValue::string("v")).message(),
              r.message());
    EXPECT_FALSE(store.createKey(HKCU, "Software\\B").ok());
    EXPECT_EQ(readFile(hkcu()), c.bytes);
  }
  // The other root's file is not touched by this one's damage.
  EXPECT_TRUE(store.writeValue(HKCR, ".pmd", "", RegValue::string("Pelmora.Document")).ok());
}

TEST_F(PosixRegistryStoreTest, AStoreOfManyMegabytesIsReadWholeWhateverItsLinesAcrossItsPieces) {
  // Megabytes of a file are checked side by side: a value's continuation lines,
  // lines ending in "\" that go on with nothing, and a key's sections all over
  // the file must read as in one pass, and a damaged line anywhere must be
  // reported with its own line number. The lines' lengths vary so that every
  // kind of line meets some megabyte's end.
  for (const std::string eol : {"\r\n", "\n"}) {
    std::string body;
    int lines = 2;
    for (int r = 0; r < 22000; ++r) {
      body += "[HKEY_CURRENT_USER\\Software\\K" + std::to_string(r % 50) + "]" + eol;
      body += "\"s" + std::to_string(r) + "\"=\"C:\\\\Pelmora\\\\" + std::string(r % 61, 'p') +
              "\\\\\"" + eol;
      body += "; a note that ends in \\" + eol;
      body += "\"h" + std::to_string(r) + "\"=hex:" + std::string(r % 7 * 3, '0') + "01,\\" + eol;
      body += "  " + std::string(r % 83, '1') + ",\\ " + eol + "  02,03" + eol;
      lines += 6;
      if (r == 11000) {  // a line longer than the memory a scan reads into at first
        body += "\"long\"=\"" + std::string(3 << 20, 'L') + "\"" + eol;
        ++lines;
      }
    }
    ASSERT_GT(body.size(), 4u << 20);  // pieces enough for two threads
    const std::string head = "Windows Registry Editor Version 5.00" + eol + eol;
    writeFile(hkcu(), head + body);
    PosixRegistryStore fresh(temp.machine);
    for (const int r : {0, 9011, 16001, 21999}) {
      auto v =
          fresh.readValue(HKCU, "Software\\K" + std::to_string(r % 50), "s" + std::to_string(r));
      ASSERT_TRUE(v.ok()) << v.message();
      EXPECT_EQ(v.value(), RegValue::string("C:\\Pelmora\\" + std::string(r % 61, 'p') + "\\"));
    }
    EXPECT_EQ(fresh.readValue(HKCU, "Software\\K7", "s8").value(), std::nullopt);
    EXPECT_EQ(fresh.readValue(HKCU, "Software\\K0", "long").value(),
              RegValue::string(std::string(3 << 20, 'L')));

    const struct {
      std::string bytes;
      int line;
      const char* what;
    } damaged[] = {
        {head + body + "junk" + eol, lines + 1, "expected a key"},
        // A line longer than a piece, with lines after it.
        {head + std::string(3 << 20, ';') + eol + body + "junk" + eol, lines + 2, "expected a key"},
        {head + std::string(3 << 20, ';') + eol + "\"x\"=\"y\"" + eol + body, 4,
         "before the first key"},
    };
    for (const auto& c : damaged) {
      PosixRegistryStore again(temp.machine);
      writeFile(hkcu(), c.bytes);
      auto r = again.readValue(HKCU, "Software\\K1", "s1");
      ASSERT_FALSE(r.ok());
      EXPECT_EQ(r.message().rfind(hkcu().string() + ": line " + std::to_string(c.line) + ": ", 0),
                0u)
          << r.message();
      EXPECT_NE(r.message().find(c.what), std::string::npos) << r.message();
    }
  }
}

TEST_F(PosixRegistryStoreTest, AScanMadeAheadIsTakenOnlyWhileTheFileIsTheSame) {
  const std::string head =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\A]\r\n";
  const std::string added = "\r\n[HKEY_CURRENT_USER\\Software\\B]\r\n";
  for (const bool edited : {false, true}) {
    writeFile(hkcu(), head);
    PosixRegistryStore ahead(temp.machine);
    ahead.readAhead(HKCU);
    // A small file is scanned at once; then, in one case, edited by hand.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (edited) writeFile(hkcu(), head + added);
    EXPECT_EQ(ahead.keyExists(HKCU, "Software\\B").value(), edited);
    ASSERT_TRUE(ahead.writeValue(HKCU, "Software\\A", "m", RegValue::number(1)).ok());
    ASSERT_TRUE(ahead.flush().ok());
    EXPECT_EQ(readFile(hkcu()), head + "\"m\"=dword:00000001\r\n" + (edited ? added : ""));
  }
}

TEST_F(PosixRegistryStoreTest, ProcessesWritingAtOnceLoseNothing) {
  constexpr int kValues = 200;
  // Every other value goes to a key all writers share. Writer 0 folds the log
  // into the file at every write, writer 1 only appends to it, and this process
  // writes too, with what it read before in memory.
  const auto where = [](int writer, int i) {
    return std::pair{i % 2 ? "Software\\Shared" : "Software\\Writer" + std::to_string(writer),
                     "w" + std::to_string(writer) + "-" + std::to_string(i)};
  };
  write("Software\\Shared", "before", RegValue::number(1));
  std::vector<pid_t> children;
  for (int writer = 0; writer < 2; ++writer) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      PosixRegistryStore mine(temp.machine);
      if (writer == 0) mine.foldLogBytes = 0;
      int failures = 0;
      for (int i = 0; i < kValues; ++i) {
        const auto [key, name] = where(writer, i);
        failures += !mine.writeValue(HKCU, key, name, RegValue::number(i)).ok();
      }
      ::_exit(failures == 0 ? 0 : 1);  // no fold at the end: as if killed
    }
    children.push_back(child);
  }
  for (int i = 0; i < kValues; ++i) {
    const auto [key, name] = where(2, i);
    write(key, name, RegValue::number(i));
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const auto countFound = [&](PosixRegistryStore& reader) {
    int found = reader.readValue(HKCU, "Software\\Shared", "before").value() == RegValue::number(1);
    for (int writer = 0; writer < 3; ++writer) {
      for (int i = 0; i < kValues; ++i) {
        const auto [key, name] = where(writer, i);
        found += reader.readValue(HKCU, key, name).value() == RegValue::number(i);
      }
    }
    return found;
  };
  EXPECT_EQ(countFound(store), 3 * kValues + 1);
  ASSERT_TRUE(store.flush().ok());
  EXPECT_FALSE(fs::exists(hkcu().string() + ".log"));
  PosixRegistryStore fresh(temp.machine);
  EXPECT_EQ(countFound(fresh), 3 * kValues + 1);
}

}  // namespace
}  // namespace pm::posix
