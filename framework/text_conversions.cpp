// Placeholder: the value-to-text conversions are not built yet; each writes the empty text.
#include "framework/audio_effect.h"

void AudioEffect::decibelsToText(float, char* text, VstInt32) { writeEmptyText(text); }
void AudioEffect::hertzToText(float, char* text, VstInt32) { writeEmptyText(text); }
void AudioEffect::millisecondsToText(float, char* text, VstInt32) { writeEmptyText(text); }
void AudioEffect::floatToText(float, char* text, VstInt32) { writeEmptyText(text); }
void AudioEffect::intToText(VstInt32, char* text, VstInt32) { writeEmptyText(text); }
