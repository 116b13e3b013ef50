// Scripting.FileSystemObject and text streams against a temporary folder.
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "script_fixture.h"

namespace ralvek::vbscript::testing {
namespace {

namespace fs = std::filesystem;

class FileSystem : public ScriptTest {
 protected:
  void SetUp() override {
    ScriptTest::SetUp();
    std::random_device rd;
    dir = fs::temp_directory_path() / ("vbscript_fso_" + std::to_string(rd()));
    fs::create_directories(dir);
    ASSERT_TRUE(engine.add_code("Set fso = CreateObject(\"Scripting.FileSystemObject\")\nD = \"" +
                                dir.string() +
                                "\"\nConst ForReading = 1, ForWriting = 2, ForAppending = 8\n"));
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  void write(const std::string& name, const std::string& content) {
    std::ofstream(dir / name, std::ios::binary) << content;
  }
  std::string read(const std::string& name) {
    std::ifstream in(dir / name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  fs::path dir;
};

TEST_F(FileSystem, ExistsGetFileAndItsProperties) {
  write("12_20061206053100.kom", "abc\r\n");
  EXPECT_EQ(run("fp = D & \"/12_20061206053100.kom\"\nP fso.FileExists(fp)\nP fso.FolderExists(D)\n"
                "P fso.FileExists(D)\nSet f = fso.GetFile(fp)\nP f.Name\nP f.Size\nP f.Path = fp\n"
                "P Year(f.DateLastModified) >= 2024\nP fso.GetFile(fp) = fp\n"),
            "True|True|False|12_20061206053100.kom|5|True|True|True|");
}

TEST_F(FileSystem, MissingFileAndFolderErrors) {
  EXPECT_EQ(run("Set f = fso.GetFile(D & \"/none.txt\")\n").substr(0, 26),
            "ERR 53: File not found: '/");
  EXPECT_EQ(run("Set f = fso.GetFolder(D & \"/none\")\n").substr(0, 26),
            "ERR 76: Path not found: '/");
  EXPECT_EQ(run("Set f = fso.OpenTextFile(D & \"/none.txt\")\n").substr(0, 6), "ERR 53");
}

TEST_F(FileSystem, DriveLettersFailClearly) {
  EXPECT_EQ(run("x = fso.FileExists(\"C:\\data\\x.kom\")\n"),
            "ERR 76: Path not found: drive letters are not supported ('C:\\data\\x.kom') @1");
}

TEST_F(FileSystem, BackslashesAreSeparators) {
  fs::create_directory(dir / "sub");
  write("sub/a.txt", "x");
  EXPECT_EQ(run("P fso.FileExists(D & \"\\sub\\a.txt\")\n"), "True|");
}

TEST_F(FileSystem, NameFunctionsWorkOnText) {
  EXPECT_EQ(
      run("P fso.GetFileName(\"/data/12_x.kom\")\nP fso.GetBaseName(\"/data/12_x.kom\")\n"
          "P fso.GetExtensionName(\"/data/a.b.KOM\")\nP "
          "fso.GetParentFolderName(\"/data/12_x.kom\")\n"
          "P fso.GetParentFolderName(\"data\\x.kom\")\nP fso.BuildPath(\"/data\", \"x.dat\")\n"
          "P fso.BuildPath(\"/data/\", \"x.dat\")\nP fso.GetBaseName(\"noext\") & "
          "fso.GetExtensionName(\"noext\")\n"),
      "12_x.kom|12_x|KOM|/data|data|/data/x.dat|/data/x.dat|noext|");
}

TEST_F(FileSystem, WriteAppendAndReadTextStreams) {
  EXPECT_EQ(
      run("Set t = fso.CreateTextFile(D & \"/a.txt\", True)\nt.WriteLine \"one\"\nt.Write \"two\"\n"
          "t.WriteBlankLines 1\nt.Close\n"
          "Set t = fso.OpenTextFile(D & \"/a.txt\", ForAppending)\nt.WriteLine \"three\"\nt.Close\n"
          "Set t = fso.OpenTextFile(D & \"/a.txt\", ForReading)\n"
          "Do Until t.AtEndOfStream\n P t.Line & \":\" & t.ReadLine\nLoop\nt.Close\n"),
      "1:one|2:two|3:three|");
  EXPECT_EQ(read("a.txt"), "one\r\ntwo\r\nthree\r\n");
}

TEST_F(FileSystem, ReadLineAcceptsLfCrLfAndCr) {
  write("mixed.txt", "a\nb\r\nc\rd");
  EXPECT_EQ(run("Set t = fso.OpenTextFile(D & \"/mixed.txt\")\n"
                "Do While Not t.AtEndOfStream\n P t.ReadLine\nLoop\n"),
            "a|b|c|d|");
}

TEST_F(FileSystem, ReadAllReadAndSkipLineAndPastEnd) {
  write("b.txt", "head\nxyz\n");
  EXPECT_EQ(
      run("Set t = fso.OpenTextFile(D & \"/b.txt\")\nt.SkipLine\nP t.Read(2)\nP Len(t.ReadAll)\n"
          "P t.AtEndOfStream\nx = t.ReadLine\n"),
      "ERR 62: Input past end of file @6");
  EXPECT_EQ(*engine.run("Out", {}), "xy|2|True|");
}

TEST_F(FileSystem, BytesPassUnchanged) {
  write("bin.txt", std::string("\x01\xff\xe4\0z", 5));
  EXPECT_EQ(run("Set t = fso.OpenTextFile(D & \"/bin.txt\")\ns = t.ReadAll\nt.Close\n"
                "P Len(s) & \" \" & Asc(Mid(s, 2, 1)) & \" \" & Asc(Mid(s, 4, 1))\n"
                "Set t = fso.CreateTextFile(D & \"/copy.txt\")\nt.Write s\nt.Close\n"),
            "5 255 0|");
  EXPECT_EQ(read("copy.txt"), std::string("\x01\xff\xe4\0z", 5));
}

TEST_F(FileSystem, WritingAReadStreamIsABadFileMode) {
  write("r.txt", "x");
  EXPECT_EQ(run("Set t = fso.OpenTextFile(D & \"/r.txt\")\nt.WriteLine \"no\"\n"),
            "ERR 54: Bad file mode @2");
}

TEST_F(FileSystem, OpenForWritingWithoutCreateNeedsTheFile) {
  EXPECT_EQ(run("Set t = fso.OpenTextFile(D & \"/n.txt\", ForWriting)\n").substr(0, 6), "ERR 53");
  EXPECT_EQ(run("Set t = fso.OpenTextFile(D & \"/n.txt\", ForWriting, True)\nt.Write "
                "\"z\"\nt.Close\nP 1\n"),
            "1|");
  EXPECT_EQ(read("n.txt"), "z");
  EXPECT_EQ(run("Set t = fso.CreateTextFile(D & \"/n.txt\", False)\n").substr(0, 6), "ERR 58");
}

TEST_F(FileSystem, CopyMoveDeleteFiles) {
  write("a.kom", "data");
  EXPECT_EQ(run("fso.CopyFile D & \"/a.kom\", D & \"/b.kom\"\nfso.MoveFile D & \"/b.kom\", D & "
                "\"/c.kom\"\n"
                "P fso.FileExists(D & \"/b.kom\") & fso.FileExists(D & \"/c.kom\")\n"
                "fso.DeleteFile D & \"/c.kom\"\nP fso.FileExists(D & \"/c.kom\")\n"),
            "FalseTrue|False|");
  EXPECT_EQ(read("a.kom"), "data");
  EXPECT_EQ(run("fso.CopyFile D & \"/a.kom\", D & \"/a2.kom\"\nfso.MoveFile D & \"/a.kom\", D & "
                "\"/a2.kom\"\n"),
            "ERR 58: File already exists: '" + (dir / "a2.kom").string() + "' @2");
  EXPECT_EQ(run("fso.CopyFile D & \"/a.kom\", D & \"/a2.kom\", False\n").substr(0, 6), "ERR 58");
  EXPECT_EQ(run("fso.DeleteFile D & \"/zz.kom\"\n").substr(0, 6), "ERR 53");
}

TEST_F(FileSystem, WildcardsAndFolderDestinations) {
  write("1_a.dat", "1");
  write("1_b.dat", "2");
  write("1_c.kom", "3");
  EXPECT_EQ(run("fso.CreateFolder D & \"/out\"\nfso.CopyFile D & \"/*.DAT\", D & \"/out/\"\n"
                "fso.MoveFile D & \"/1_c.kom\", D & \"/out\"\n"
                "For Each f In fso.GetFolder(D & \"/out\").Files\n P f.Name\nNext\n"
                "fso.DeleteFile D & \"/*.dat\"\nP fso.GetFolder(D).Files.Count\n"),
            "1_a.dat|1_b.dat|1_c.kom|0|");
  EXPECT_EQ(run("fso.CreateFolder D & \"/out\"\n").substr(0, 6), "ERR 58");
}

TEST_F(FileSystem, FileObjectRenameCopyMoveDelete) {
  write("x.kom", "abc");
  EXPECT_EQ(
      run("Set f = fso.GetFile(D & \"/x.kom\")\nf.Name = fso.GetBaseName(f.Name) & \".dat\"\nP "
          "f.Name\n"
          "f.Copy D & \"/y.dat\"\nf.Move D & \"/z.dat\"\nP f.Path = D & \"/z.dat\"\nf.Delete\n"
          "P fso.FileExists(D & \"/z.dat\") & fso.FileExists(D & \"/y.dat\")\n"),
      "x.dat|True|FalseTrue|");
}

TEST_F(FileSystem, FoldersAndSubFolders) {
  EXPECT_EQ(run("Set f = fso.CreateFolder(D & \"/top\")\nfso.CreateFolder D & "
                "\"/top/b\"\nfso.CreateFolder D & \"/top/a\"\n"
                "For Each s In f.SubFolders\n P s.Name\nNext\nP f.Name\nP f.ParentFolder.Path = D\n"
                "fso.DeleteFolder D & \"/top\"\nP fso.FolderExists(D & \"/top\")\n"),
            "a|b|top|True|False|");
}

// A user's hook as it is used in practice: filter the call records, keep a copy, move the original.
TEST_F(FileSystem, CallRecordScriptFiltersCopiesAndMovesTheFile) {
  write("12_20061206053100.kom",
        "0815 12:01 INT 0042\r\n0816 12:02 EXT 0043\r\n\r\n0817 12:03 INT 0044\r\n");
  fs::create_directory(dir / "archive");
  ASSERT_TRUE(engine.add_code(
      "Option Explicit\n"
      "Sub Run(strFile)\n"
      "  Dim objFSO, tsIn, tsOut, strLine, strOut, lngCount\n"
      "  Set objFSO = CreateObject(\"Scripting.FileSystemObject\")\n"
      "  strOut = objFSO.GetParentFolderName(strFile) & \"\\\" & objFSO.GetBaseName(strFile) & "
      "\".int\"\n"
      "  Set tsIn = objFSO.OpenTextFile(strFile, ForReading)\n"
      "  Set tsOut = objFSO.CreateTextFile(strOut, True)\n"
      "  Do While Not tsIn.AtEndOfStream\n"
      "    strLine = Trim(tsIn.ReadLine)\n"
      "    If Len(strLine) > 0 And InStr(1, strLine, \" int \", vbTextCompare) > 0 Then\n"
      "      tsOut.WriteLine Replace(strLine, \" \", \";\")\n"
      "      lngCount = lngCount + 1\n"
      "    End If\n"
      "  Loop\n"
      "  tsIn.Close\n"
      "  tsOut.Close\n"
      "  objFSO.MoveFile strFile, objFSO.GetParentFolderName(strFile) & \"\\archive\\\"\n"
      "  Run2 lngCount\n"
      "End Sub\n"
      "Sub Run2(n)\n"
      "  If n <> 2 Then Err.Raise 1000, \"hook\", \"unexpected count \" & n\n"
      "End Sub\n"));
  auto result = engine.run("Run", {(dir / "12_20061206053100.kom").string()});
  ASSERT_TRUE(result) << error_text();
  EXPECT_EQ(read("12_20061206053100.int"), "0815;12:01;INT;0042\r\n0817;12:03;INT;0044\r\n");
  EXPECT_FALSE(fs::exists(dir / "12_20061206053100.kom"));
  EXPECT_TRUE(fs::exists(dir / "archive" / "12_20061206053100.kom"));
}

}  // namespace
}  // namespace ralvek::vbscript::testing
