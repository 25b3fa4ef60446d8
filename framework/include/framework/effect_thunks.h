// The C boundary between a host and an effect object: the functions whose
// addresses stand in every effect record.
#pragma once

#include "vst/vst_records.h"

// Stores the six thunks in the record's function-pointer fields.
void installEffectThunks(AEffect& record);
