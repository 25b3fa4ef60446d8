// The check bodies. Each runs inside the child process of its check and
// reports through the context.
#pragma once

#include "tools/validate/check_support.h"

namespace validate {

void checkLifecycle(Context& context, const LoadedPlugin& plugin);
void checkOpcodes(Context& context, const LoadedPlugin& plugin);
void checkParameters(Context& context, const LoadedPlugin& plugin);
void checkAudio(Context& context, const LoadedPlugin& plugin);
void checkThreads(Context& context, const LoadedPlugin& plugin);
void checkFloatingPointMode(Context& context, const LoadedPlugin& plugin);
void checkRealtime(Context& context, const LoadedPlugin& plugin);

}  // namespace validate
