// The crash reporter's main unit: what the process is made of (system facts,
// threads, objects and windows, modules and processes), and later the
// pipeline, the hooks and the public interface. Each idea has a header of its
// own in the folder that holds its code; this header brings them together for
// the unit's includers.
#pragma once
#include "crash/engine/system/SystemInfo.h"
#include "crash/engine/errors/InternalErrors.h"
#include "crash/engine/modules/ModuleLists.h"
#include "crash/engine/objects/ObjectsAndWindows.h"
#include "crash/engine/stack/CallStack.h"
#include "crash/engine/threads/ThreadRegistry.h"
#include "crash/engine/events/ExceptionEvents.h"
#include "crash/engine/pipeline/Pipeline.h"
