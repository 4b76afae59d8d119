#pragma once
// A framework header that includes only its own layer.
#include "framework/Handle.h"
