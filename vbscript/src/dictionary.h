// "Scripting.Dictionary": keys in insertion order, Item as the default member.
#pragma once

#include "value.h"

namespace ralvek::vbscript {

ObjectRef make_dictionary();

}  // namespace ralvek::vbscript
