#include "errors.h"

namespace ralvek::vbscript {

std::string_view error_text(int number) {
  switch (number) {
    case err::kInvalidCall:
      return "Invalid procedure call or argument";
    case err::kOverflow:
      return "Overflow";
    case err::kOutOfMemory:
      return "Out of memory";
    case err::kSubscript:
      return "Subscript out of range";
    case err::kFixedArray:
      return "This array is fixed or temporarily locked";
    case err::kDivisionByZero:
      return "Division by zero";
    case err::kTypeMismatch:
      return "Type mismatch";
    case err::kOutOfStringSpace:
      return "Out of string space";
    case err::kOutOfStack:
      return "Out of stack space";
    case err::kSubNotDefined:
      return "Sub or Function not defined";
    case err::kInternal:
      return "Internal error";
    case err::kBadFileMode:
      return "Bad file mode";
    case err::kFileNotFound:
      return "File not found";
    case err::kFileExists:
      return "File already exists";
    case err::kPastEndOfFile:
      return "Input past end of file";
    case err::kPermissionDenied:
      return "Permission denied";
    case err::kPathNotFound:
      return "Path not found";
    case err::kObjectNotSet:
      return "Object variable not set";
    case err::kForNotInitialized:
      return "For loop not initialized";
    case err::kInvalidUseOfNull:
      return "Invalid use of Null";
    case err::kObjectRequired:
      return "Object required";
    case err::kCannotCreateObject:
      return "ActiveX component can't create object";
    case err::kNoSuchMember:
      return "Object doesn't support this property or method";
    case err::kWrongArgCount:
      return "Wrong number of arguments or invalid property assignment";
    case err::kNotACollection:
      return "Object not a collection";
    case err::kVariableUndefined:
      return "Variable is undefined";
    case err::kIllegalAssignment:
      return "Illegal assignment";
    case err::kFileNotFoundSystem:
      return "The system cannot find the file specified.";
    case err::kSyntax:
      return "Syntax error";
    case err::kExpectedColon:
      return "Expected ':'";
    case err::kExpectedLParen:
      return "Expected '('";
    case err::kExpectedRParen:
      return "Expected ')'";
    case err::kExpectedIdentifier:
      return "Expected identifier";
    case err::kExpectedEquals:
      return "Expected '='";
    case err::kExpectedIf:
      return "Expected 'If'";
    case err::kExpectedTo:
      return "Expected 'To'";
    case err::kExpectedEnd:
      return "Expected 'End'";
    case err::kExpectedFunction:
      return "Expected 'Function'";
    case err::kExpectedSub:
      return "Expected 'Sub'";
    case err::kExpectedThen:
      return "Expected 'Then'";
    case err::kExpectedWend:
      return "Expected 'Wend'";
    case err::kExpectedLoop:
      return "Expected 'Loop'";
    case err::kExpectedNext:
      return "Expected 'Next'";
    case err::kExpectedCase:
      return "Expected 'Case'";
    case err::kExpectedSelect:
      return "Expected 'Select'";
    case err::kExpectedExpression:
      return "Expected expression";
    case err::kExpectedStatement:
      return "Expected statement";
    case err::kExpectedEndOfStatement:
      return "Expected end of statement";
    case err::kExpectedInteger:
      return "Expected integer constant";
    case err::kExpectedWhileUntil:
      return "Expected 'While' or 'Until'";
    case err::kExpectedWith:
      return "Expected 'With'";
    case err::kInvalidNumber:
      return "Invalid number";
    case err::kInvalidCharacter:
      return "Invalid character";
    case err::kUnterminatedString:
      return "Unterminated string constant";
    case err::kInvalidExit:
      return "Invalid 'exit' statement";
    case err::kInvalidForVariable:
      return "Invalid 'for' loop control variable";
    case err::kNameRedefined:
      return "Name redefined";
    case err::kParensOnSubCall:
      return "Cannot use parentheses when calling a Sub";
    case err::kExpectedLiteral:
      return "Expected literal constant";
    case err::kExpectedIn:
      return "Expected 'In'";
    case err::kUnsupported:
      return "Statement not supported by this engine";
    case err::kTooDeep:
      return "Nesting too deep";
    default:
      return "Unknown runtime error";
  }
}

void raise(int number) {
  throw VbError{number, std::string(error_text(number)), {}, false, 0, -1};
}

void raise(int number, std::string description) {
  throw VbError{number, std::move(description), {}, false, 0, -1};
}

void raise_named(int number, std::string_view name) {
  std::string text(error_text(number));
  text += ": '";
  text += name;
  text += "'";
  throw VbError{number, std::move(text), {}, false, 0, -1};
}

void raise_fatal(int number, std::string description) {
  throw VbError{number, std::move(description), {}, true, 0, -1};
}

}  // namespace ralvek::vbscript
