// The check bodies. Each runs inside the child process of its check and
// reports through the context.
#pragma once

#include "audio_buffers.h"
#include "context.h"
#include "environment.h"
#include "host/guarded_buffer.h"
#include "test_instance.h"
#include "text_probe.h"
#include "time_variants.h"

namespace validate {

void checkLifecycle(Context& context, const LoadedPlugin& plugin);
void checkOpcodes(Context& context, const LoadedPlugin& plugin);
void checkParameters(Context& context, const LoadedPlugin& plugin);
void checkAudio(Context& context, const LoadedPlugin& plugin);
void checkThreads(Context& context, const LoadedPlugin& plugin);
void checkFloatingPointMode(Context& context, const LoadedPlugin& plugin);
void checkRealtime(Context& context, const LoadedPlugin& plugin);
void checkHostile(Context& context, const LoadedPlugin& plugin);

// After other calls the instance must still process a normal block: suspend,
// 44.1 kHz, 512 frames, resume, one block of noise, audited.
void processAfterwards(Context& context, TestInstance& instance, const std::string& after);

// A started instance, or a problem reported and null.
std::unique_ptr<TestInstance> startedInstance(Context& context, const LoadedPlugin& plugin,
                                              float rate, VstInt32 maxFrames);

}  // namespace validate
