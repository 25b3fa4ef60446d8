// The host side of the parameter table: each operation finds the index's row
// and lets it do the work.
#include <algorithm>
#include <cmath>

#include "framework/text_copy.h"
#include "panner/drifton_vst.h"

void DriftonVST::setParameter(VstInt32 index, float value) {
    const drifton::ParameterRow* row = drifton::parameterRow(index);
    if (row == nullptr || !std::isfinite(value)) {
        return;
    }
    row->store(parameters, std::clamp(value, 0.0f, 1.0f));
}

float DriftonVST::getParameter(VstInt32 index) {
    const drifton::ParameterRow* row = drifton::parameterRow(index);
    return row != nullptr ? row->read(parameters) : 0.0f;
}

void DriftonVST::getParameterName(VstInt32 index, char* text) {
    if (const drifton::ParameterRow* row = drifton::parameterRow(index)) {
        copyTextWithLimit(text, row->name, row->nameLimit);
    }
}

void DriftonVST::getParameterLabel(VstInt32 index, char* label) {
    const drifton::ParameterRow* row = drifton::parameterRow(index);
    copyTextWithLimit(label, row != nullptr ? row->label : "", drifton::kLabelLimit);
}

void DriftonVST::getParameterDisplay(VstInt32 index, char* text) {
    const drifton::ParameterRow* row = drifton::parameterRow(index);
    drifton::DisplayText display;
    if (row != nullptr && row->display(parameters, display)) {
        copyTextWithLimit(text, display.c_str(), row->displayLimit);
    }
}
