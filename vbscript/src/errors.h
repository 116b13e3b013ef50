// Run-time errors as the interpreter throws them, and VBScript's error numbers and texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ralvek::vbscript {

namespace err {
inline constexpr int kInvalidCall = 5;
inline constexpr int kOverflow = 6;
inline constexpr int kOutOfMemory = 7;
inline constexpr int kSubscript = 9;
inline constexpr int kFixedArray = 10;
inline constexpr int kDivisionByZero = 11;
inline constexpr int kTypeMismatch = 13;
inline constexpr int kOutOfStringSpace = 14;
inline constexpr int kOutOfStack = 28;
inline constexpr int kSubNotDefined = 35;
inline constexpr int kInternal = 51;
inline constexpr int kBadFileMode = 54;
inline constexpr int kFileNotFound = 53;
inline constexpr int kFileExists = 58;
inline constexpr int kPastEndOfFile = 62;
inline constexpr int kPermissionDenied = 70;
inline constexpr int kPathNotFound = 76;
inline constexpr int kObjectNotSet = 91;
inline constexpr int kForNotInitialized = 92;
inline constexpr int kInvalidUseOfNull = 94;
inline constexpr int kObjectRequired = 424;
inline constexpr int kCannotCreateObject = 429;
inline constexpr int kNoSuchMember = 438;
inline constexpr int kWrongArgCount = 450;
inline constexpr int kNotACollection = 451;
inline constexpr int kVariableUndefined = 500;
inline constexpr int kIllegalAssignment = 501;
inline constexpr int kFileNotFoundSystem = static_cast<int>(0x80070002u);

// Compilation errors.
inline constexpr int kSyntax = 1002;
inline constexpr int kExpectedColon = 1003;
inline constexpr int kExpectedLParen = 1005;
inline constexpr int kExpectedRParen = 1006;
inline constexpr int kExpectedIdentifier = 1010;
inline constexpr int kExpectedEquals = 1011;
inline constexpr int kExpectedIf = 1012;
inline constexpr int kExpectedTo = 1013;
inline constexpr int kExpectedEnd = 1014;
inline constexpr int kExpectedFunction = 1015;
inline constexpr int kExpectedSub = 1016;
inline constexpr int kExpectedThen = 1017;
inline constexpr int kExpectedWend = 1018;
inline constexpr int kExpectedLoop = 1019;
inline constexpr int kExpectedNext = 1020;
inline constexpr int kExpectedCase = 1021;
inline constexpr int kExpectedSelect = 1022;
inline constexpr int kExpectedExpression = 1023;
inline constexpr int kExpectedStatement = 1024;
inline constexpr int kExpectedEndOfStatement = 1025;
inline constexpr int kExpectedInteger = 1026;
inline constexpr int kExpectedWhileUntil = 1027;
inline constexpr int kExpectedWith = 1029;
inline constexpr int kInvalidNumber = 1031;
inline constexpr int kInvalidCharacter = 1032;
inline constexpr int kUnterminatedString = 1033;
inline constexpr int kInvalidExit = 1039;
inline constexpr int kInvalidForVariable = 1040;
inline constexpr int kNameRedefined = 1041;
inline constexpr int kParensOnSubCall = 1044;
inline constexpr int kExpectedLiteral = 1045;
inline constexpr int kExpectedIn = 1046;
inline constexpr int kUnsupported = 1058;
inline constexpr int kTooDeep = 1059;
}  // namespace err

// VBScript's text for an error number ("Division by zero"); "Unknown runtime error" otherwise.
std::string_view error_text(int number);

// A run-time error on its way out of the statement that raised it. `fatal` errors (time limit,
// resource bounds) pass On Error Resume Next and end the call.
struct VbError {
  std::int32_t number = 0;
  std::string description;
  std::string source;  // empty: the engine's own run-time error source
  bool fatal = false;
  int line = 0;  // filled by the statement that saw it first
  int chunk = -1;
};

[[noreturn]] void raise(int number);
[[noreturn]] void raise(int number, std::string description);
// "Type mismatch: 'Name'" and friends: the standard text followed by the quoted name.
[[noreturn]] void raise_named(int number, std::string_view name);
[[noreturn]] void raise_fatal(int number, std::string description);

}  // namespace ralvek::vbscript
