#pragma once
// The writing side of the payload container (module PackX): the encoders
// (PackEncode.h), the setup build (PackBuild.h) and the project file
// (PackProject.h).
#include "payload/PackBuild.h"
#include "payload/PackEncode.h"
#include "payload/PackProject.h"
