#include <gtest/gtest.h>

#include "framework/audio_effect_x.h"

TEST(Placeholder, Builds) { SUCCEED(); }
