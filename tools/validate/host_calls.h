// Dispatcher calls as the checks make them: the opcodes hosts really send,
// each with the arguments hosts pass, and hostile calls (null pointers,
// random indices, values and opt) for the hostile check. Every buffer the
// plug-in may write is guarded; every text is judged by the text itself.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "host/guarded_buffer.h"
#include "rng.h"
#include "test_instance.h"
#include "validate/validator.h"

namespace validate {

const char* opcodeName(VstInt32 opcode);
// "effGetParamName (opcode 8) index 0 value 0 ptr text opt 0"
std::string callText(VstInt32 opcode, VstInt32 index, VstIntPtr value, const char* ptr, float opt);

// Editor opcodes (rectangle, open, close, idle, keys, ...).
bool isEditorOpcode(VstInt32 opcode);
// Editor calls are made only to plug-ins without an editor or where there
// is a display: editors need one, and a crash for lack of it says nothing.
bool editorCallsAllowed(const TestInstance& instance);

// What one call did wrong (failure) or did that a host may mind (warning).
struct CallVerdict {
    std::string failure;
    std::string warning;
};

class OpcodeCaller {
public:
    OpcodeCaller(TestInstance& instance, const Profile& profile);

    // The opcodes hosts send in their ordinary course, for this instance
    // (no editor opcodes where editorCallsAllowed() says no).
    std::vector<VstInt32> realisticOpcodes() const;
    // One of them with the arguments a host passes (indices in range, the
    // buffers and records the opcode takes).
    CallVerdict realistic(VstInt32 opcode, Rng& rng, std::string* described);
    // Any opcode with any arguments: ptr null, or a guarded buffer.
    CallVerdict hostile(VstInt32 opcode, VstInt32 index, VstIntPtr value, float opt,
                        bool nullPointer, Rng& rng);

private:
    CallVerdict text(VstInt32 opcode, VstInt32 index, VstIntPtr value, float opt,
                     std::size_t nominal, std::size_t declared);
    CallVerdict record(VstInt32 opcode, VstInt32 index, VstIntPtr value, float opt,
                       const char* input = nullptr);
    CallVerdict chunkRoundTrip(VstInt32 index);

    TestInstance& instance_;
    std::size_t declaredLimit_;
    vsthost::GuardedBuffer text_;
    vsthost::GuardedBuffer record_;
    vsthost::GuardedBuffer second_;
};

}  // namespace validate
