// Stands in for the script engine in a build without it: a script file then fails the start.
#include "user_script.h"

namespace ralvek::serrak {

std::unique_ptr<UserScript> make_vbscript_user_script() {
  throw ScriptFailure("This build of serrak has no script engine");
}

}  // namespace ralvek::serrak
