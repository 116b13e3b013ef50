// Statements and procedures, one small script per behaviour.
#include "script_fixture.h"

namespace ralvek::vbscript::testing {
namespace {

using Language = ScriptTest;

TEST_F(Language, BlockIfElseIfElsePicksTheFirstTrueBranch) {
  EXPECT_EQ(
      run("For i = 1 To 4\n"
          "  If i = 1 Then\n    P \"one\"\n  ElseIf i = 2 Or i = 3 Then\n    P \"two-three\"\n"
          "  Else\n    P \"other\"\n  End If\nNext\n"),
      "one|two-three|two-three|other|");
}

TEST_F(Language, OneLineIfWithElseAndSeveralStatements) {
  EXPECT_EQ(run("x = 5\nIf x > 3 Then P \"big\": P \"yes\" Else P \"small\"\nIf x < 3 Then P "
                "\"no\"\nP \"end\"\n"),
            "big|yes|end|");
  EXPECT_EQ(run("x = 1\nIf x > 3 Then P \"big\" Else P \"small\": P \"too\"\n"), "small|too|");
}

TEST_F(Language, SelectCaseWithListsRangesIsAndElse) {
  EXPECT_EQ(run("For Each v In Array(1, 4, 7, 12, 50, \"x\")\n"
                " Select Case v\n"
                "  Case 1, 2: P \"low\"\n"
                "  Case 3 To 8\n    P \"mid\"\n"
                "  Case \"x\": P \"letter\"\n"
                "  Case Is >= 40: P \"huge\"\n"
                "  Case Else: P \"else\"\n"
                " End Select\nNext\n"),
            "low|mid|mid|else|huge|letter|");
}

TEST_F(Language, ForNextWithStepCountsDownAndExitFor) {
  EXPECT_EQ(run("For i = 10 To 1 Step -3: P i: Next\nFor j = 1 To 100\n If j = 3 Then Exit "
                "For\nNext\nP j\n"),
            "10|7|4|1|3|");
  EXPECT_EQ(run("For k = 1 To 0: P \"never\": Next\nP k\n"), "1|");
}

TEST_F(Language, DoLoopFormsAndWhileWend) {
  EXPECT_EQ(run("i = 0\nDo While i < 3\n i = i + 1\nLoop\nP i\n"
                "Do Until i = 0: i = i - 1: Loop\nP i\n"
                "Do\n i = i + 2\nLoop While i < 5\nP i\n"
                "Do\n i = i + 1\nLoop Until True\nP i\n"
                "Do\n i = i + 1\n If i > 9 Then Exit Do\nLoop\nP i\n"
                "While i > 7\n i = i - 1\nWend\nP i\n"),
            "3|0|6|7|10|7|");
}

TEST_F(Language, ForEachOverArrayAndNestedLoops) {
  EXPECT_EQ(run("s = \"\"\nFor Each a In Split(\"x,y\", \",\")\n For Each b In Array(1, 2)\n  s = "
                "s & a & b\n Next\nNext\nP s\n"),
            "x1x2y1y2|");
}

TEST_F(Language, SubsAndFunctionsWithByRefAndByVal) {
  EXPECT_EQ(run("Sub Bump(ByRef a, ByVal b)\n a = a + 1\n b = b + 1\nEnd Sub\n"
                "Sub Twice(n)\n n = n * 2\nEnd Sub\n"
                "x = 1: y = 1\nBump x, y\nP x: P y\n"
                "Twice x\nP x\n"
                "Twice (x)\nP x\n"
                "Call Twice(x)\nP x\n"),
            "2|1|4|4|8|");
}

TEST_F(Language, FunctionResultRecursionAndExitFunction) {
  EXPECT_EQ(run("Function Fact(n)\n If n <= 1 Then\n  Fact = 1\n  Exit Function\n End If\n"
                " Fact = n * Fact(n - 1)\nEnd Function\nP Fact(10)\n"),
            "3628800|");
}

TEST_F(Language, LocalsShadowGlobalsAndUndeclaredNamesInProceduresAreLocal) {
  EXPECT_EQ(run("g = \"global\"\nSub S()\n Dim g\n g = \"local\"\n h = 5\nEnd Sub\nS\nP g\nP "
                "IsEmpty(h)\n"),
            "global|True|");
}

TEST_F(Language, ArraysDimReDimPreserveUBoundAndMultipleDimensions) {
  EXPECT_EQ(
      run("Dim a()\nReDim a(2)\na(0) = \"x\": a(2) = \"z\"\nP UBound(a)\n"
          "ReDim Preserve a(4)\nP a(0) & a(2) & UBound(a)\n"
          "ReDim a(1)\nP IsEmpty(a(0))\n"
          "Dim m(2, 3)\nm(2, 3) = 7\nP m(2, 3) & \" \" & UBound(m, 1) & \" \" & UBound(m, 2)\n"
          "Dim d()\nReDim d(0)\nd(0) = 1\nP d(0)\n"),
      "2|xz4|True|7 2 3|1|");
}

TEST_F(Language, ArraysAreCopiedOnAssignment) {
  EXPECT_EQ(run("a = Array(1, 2)\nb = a\nb(0) = 9\nP a(0) & b(0)\n"), "19|");
}

TEST_F(Language, SubscriptOutOfRangeIsReported) {
  EXPECT_EQ(run("Dim a(1)\nx = a(2)\n"), "ERR 9: Subscript out of range @2");
}

TEST_F(Language, ConstCannotBeAssigned) {
  EXPECT_EQ(run("Const ForReading = 1, Name = \"n\"\nP ForReading & Name\n"), "1n|");
  EXPECT_EQ(run("Const K = 1\nK = 2\n"), "ERR 501: Illegal assignment: 'K' @2");
}

TEST_F(Language, OptionExplicitRejectsUndeclaredNames) {
  EXPECT_EQ(run("Option Explicit\nDim a\na = 1\nb = 2\n"),
            "ERR 500: Variable is undefined: 'b' @4");
}

TEST_F(Language, NamesAreCaseInsensitive) {
  EXPECT_EQ(run("Function AddOne(V)\n addone = v + 1\nEnd Function\nMyVar = 3\nP ADDONE(myvar)\n"),
            "4|");
}

TEST_F(Language, LineContinuationAndCommentsAndRem) {
  EXPECT_EQ(run("x = 1 + _\n    2 ' comment\nRem a remark\nP x ' trailing\ns = \"it's\" : P s\n"),
            "3|it's|");
}

TEST_F(Language, WithBlockReachesMembers) {
  EXPECT_EQ(run("Set fso = CreateObject(\"Scripting.FileSystemObject\")\nWith fso\n P "
                ".GetBaseName(\"/a/b.txt\")\n"
                " P .GetExtensionName(\"b.txt\")\nEnd With\n"),
            "b|txt|");
}

TEST_F(Language, SetAssignsObjectsAndIsComparesThem) {
  EXPECT_EQ(run("Set a = CreateObject(\"WScript.Shell\")\nSet b = a\nSet c = Nothing\n"
                "P (a Is b)\nP (c Is Nothing)\nP IsObject(a)\nP TypeName(c)\n"),
            "True|True|True|Nothing|");
  EXPECT_EQ(run("Set x = 5\n"), "ERR 424: Object required @1");
}

TEST_F(Language, OnErrorResumeNextSetsErrAndGoToZeroRestoresFailure) {
  EXPECT_EQ(run("On Error Resume Next\nx = 1 / 0\nP Err.Number & \" \" & "
                "Err.Description\nErr.Clear\nP Err.Number\n"
                "y = CInt(\"abc\")\nP Err\nOn Error GoTo 0\nP Err.Number\nz = 1 / 0\nP \"not "
                "reached\"\n"),
            "ERR 11: Division by zero @10");
  EXPECT_EQ(*engine.run("Out", {}), "11 Division by zero|0|13|0|");
}

TEST_F(Language, ErrorInCalledProcedureEndsItAndResumesInTheCaller) {
  EXPECT_EQ(run("Sub Bad()\n P \"before\"\n x = 1 / 0\n P \"after\"\nEnd Sub\n"
                "On Error Resume Next\nBad\nP \"caller \" & Err.Number\n"),
            "before|caller 11|");
}

TEST_F(Language, ErrRaiseCarriesNumberSourceAndDescription) {
  EXPECT_EQ(run("On Error Resume Next\nErr.Raise vbObjectError + 5, \"MyScript\", \"custom\"\n"
                "P Err.Number - vbObjectError & \" \" & Err.Source & \" \" & Err.Description\n"),
            "5 MyScript custom|");
  EXPECT_EQ(run("Err.Raise 1000, \"Mine\", \"broken\"\n"), "ERR 1000: broken @1");
  EXPECT_EQ(engine.last_error().source, "Mine");
}

TEST_F(Language, ErrorInIfConditionUnderResumeNextEntersTheBranch) {
  EXPECT_EQ(run("On Error Resume Next\nIf 1 / 0 = 1 Then\n P \"inside\"\nEnd If\n"), "inside|");
}

TEST_F(Language, CallingAnUndefinedProcedureIsATypeMismatch) {
  EXPECT_EQ(run("Missing 1, 2\n"), "ERR 13: Type mismatch: 'Missing' @1");
  EXPECT_EQ(run("x = Nope(1)\n"), "ERR 13: Type mismatch: 'Nope' @1");
}

TEST_F(Language, WrongArgumentCountIsReported) {
  EXPECT_EQ(run("Sub Two(a, b)\nEnd Sub\nTwo 1\n"),
            "ERR 450: Wrong number of arguments or invalid property assignment: 'Two' @3");
}

TEST_F(Language, ParenthesisedFirstArgumentOfASubCall) {
  EXPECT_EQ(run("Sub Show(a, b)\n P a & \"-\" & b\nEnd Sub\nShow (1 + 1), 3\nShow (1), (2)\n"),
            "2-3|1-2|");
}

TEST_F(Language, SplitResultIndexedDirectly) {
  EXPECT_EQ(run("P Split(\"a;b;c\", \";\")(1)\n"), "b|");
}

TEST_F(Language, ArgumentThatReplacesTheIndexedVariableIsATypeMismatch) {
  EXPECT_EQ(run("a = Array(1, 2)\nFunction F()\n a = 5\n F = 0\nEnd Function\nx = a(F())\n"),
            "ERR 13: Type mismatch @6");
  EXPECT_EQ(run("Set d = CreateObject(\"Scripting.Dictionary\")\nFunction G()\n d = 1\n G = 0\nEnd Function\n"
                "P d(G())\n"),
            "|");
}

TEST_F(Language, EraseEmptiesAFixedArrayAndReleasesADynamicOne) {
  EXPECT_EQ(run("Dim f(1)\nf(1) = 5\nErase f\nP IsEmpty(f(1)) & UBound(f)\n"), "True1|");
  EXPECT_EQ(run("a = Array(1, 2)\nErase a\nP UBound(a)\n"), "ERR 9: Subscript out of range @3");
  EXPECT_EQ(run("Dim d()\nReDim d(3)\nErase d\nP IsArray(d)\nReDim d(1)\nP UBound(d)\nP d(9)\n"),
            "ERR 9: Subscript out of range @7");
  EXPECT_EQ(run("Dim g(2)\nReDim g(5)\n"), "ERR 10: This array is fixed or temporarily locked @2");
}

TEST_F(Language, ExitLeavesOnlyItsOwnLoopKind) {
  EXPECT_EQ(run("n = 0\nDo\n For i = 1 To 5\n  If i = 2 Then Exit For\n Next\n n = n + 1\n If n = "
                "3 Then Exit Do\nLoop\nP n & i\n"
                "For Each v In Array(1, 2, 3)\n Do\n  Exit Do\n Loop\n If v = 2 Then Exit "
                "For\nNext\nP v\n"),
            "32|2|");
}

TEST_F(Language, OneLineIfToleratesATrailingEndIf) {
  EXPECT_EQ(run("x = 1: If x = 1 Then P \"a\" Else P \"b\" End If\nP \"c\"\n"), "a|c|");
}

TEST_F(Language, NestedWithBlocksUseTheInnermostObject) {
  EXPECT_EQ(
      run("Set d = CreateObject(\"Scripting.Dictionary\")\nd(\"k\") = 1\n"
          "With CreateObject(\"Scripting.FileSystemObject\")\n With d\n  P .Count\n End With\n"
          " P .GetFileName(\"/x/y\")\nEnd With\n"),
      "1|y|");
}

TEST_F(Language, ObjectWithoutDefaultValueCannotBeAssignedWithoutSet) {
  EXPECT_EQ(run("x = CreateObject(\"WScript.Shell\")\n"),
            "ERR 438: Object doesn't support this property or method @1");
  EXPECT_EQ(run("Set o = CreateObject(\"WScript.Shell\")\no.Fly 1\n"),
            "ERR 438: Object doesn't support this property or method: 'Fly' @2");
  EXPECT_EQ(run("Set o = Nothing\no.Close\n"), "ERR 91: Object variable not set @2");
  EXPECT_EQ(run("o = 5\no.Close\n"), "ERR 424: Object required: 'o' @2");
}

TEST_F(Language, PublicConstAndPrivateVariablesAtTopLevel) {
  EXPECT_EQ(run("Public Const A = 2\nPrivate b\nb = A * 2\nP b\n"), "4|");
}

TEST_F(Language, DictionaryKeepsOrderAndKinds) {
  EXPECT_EQ(run("Set d = CreateObject(\"Scripting.Dictionary\")\nd.Add \"b\", 1\nd.Add \"a\", "
                "2\nd(\"c\") = 3\n"
                "d(\"a\") = d(\"a\") + 10\nFor Each k In d\n P k & \"=\" & d(k)\nNext\n"
                "P d.Exists(\"B\") & d.Count\nd.Remove \"b\"\nP Join(d.Keys, \",\") & \" \" & "
                "Join(d.Items, \",\")\n"
                "d.Add 1, \"one\"\nP d.Exists(\"1\")\nd.Add \"a\", 0\n"),
            "ERR 457: This key is already associated with an element of this collection @14");
  EXPECT_EQ(*engine.run("Out", {}), "b=1|a=12|c=3|False3|a,c 12,3|False|");
}

TEST_F(Language, TopLevelDimIsKnownBeforeItsLineRuns) {
  EXPECT_EQ(run("Sub SetIt()\n counter = 5\nEnd Sub\nSetIt\nDim counter\nP counter\n"), "5|");
}

TEST_F(Language, ProceduresAddedLaterSeeEarlierGlobals) {
  ASSERT_TRUE(engine.add_code("Dim counter\ncounter = 41\n"));
  ASSERT_TRUE(engine.add_code(
      "Function Next1()\n counter = counter + 1\n Next1 = counter\nEnd Function\n"));
  EXPECT_EQ(call("Next1"), "42");
  EXPECT_EQ(call("Next1"), "43");
}

TEST_F(Language, CompilationErrorsOfVBScript) {
  struct Case {
    const char* script;
    const char* expected;
  };
  const Case cases[] = {
      {"Sub Two(a, b)\nEnd Sub\nTwo(1, 2)\n",
       "ERR 1044: Cannot use parentheses when calling a Sub @3"},
      {"Set d = Nothing\nd.Add(\"k\", 1)\n",
       "ERR 1044: Cannot use parentheses when calling a Sub @2"},
      {"n = 3\nDim a(n)\n", "ERR 1026: Expected integer constant @2"},
      {"Dim b(2 + 1)\n", "ERR 1026: Expected integer constant @1"},
      {"Set f = GetRef(\"P\")\n", "ERR 1058: GetRef is not supported by this engine @1"},
      // What stays legal around them.
      {"Sub Two(a, b)\nP a + b\nEnd Sub\nTwo 1, 2\nCall Two(3, 4)\nTwo (5), 6\n", "3|7|11|"},
      {"n = 2\nReDim r(n)\nDim c(3), m(1, 2)\nP UBound(r) & UBound(c) & UBound(m, 2)\n", "232|"},
  };
  for (const Case& c : cases) EXPECT_EQ(run(c.script), c.expected) << c.script;
}

TEST_F(Language, FileSystemAbsolutePathOfDotIsTheCurrentDirectory) {
  EXPECT_EQ(
      run("Set f = CreateObject(\"Scripting.FileSystemObject\")\n"
          "Set s = CreateObject(\"WScript.Shell\")\n"
          "P f.GetAbsolutePathName(\".\") = s.CurrentDirectory\n"
          "P Right(f.GetAbsolutePathName(\".\"), 1) <> \"/\"\nP f.GetAbsolutePathName(\"/\")\n"),
      "True|True|/|");
}

}  // namespace
}  // namespace ralvek::vbscript::testing
