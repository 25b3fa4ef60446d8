// The host side of the parameter table: each operation finds the index's row
// and derives the host's view from it.
#include <algorithm>
#include <cmath>

#include "framework/text_copy.h"
#include "panner/drifton_vst.h"
#include "vst_parameters.h"

void DriftonVST::setParameter(VstInt32 index, float value) {
    const drifton::ParameterRow* row = drifton::parameterRow(index);
    if (row == nullptr || !std::isfinite(value)) {
        return;
    }
    fields_[static_cast<std::size_t>(index)].store(
        drifton::vst::fieldFromHostValue(*row, std::clamp(value, 0.0f, 1.0f)),
        std::memory_order_relaxed);
}

float DriftonVST::getParameter(VstInt32 index) {
    const drifton::ParameterRow* row = drifton::parameterRow(index);
    return row != nullptr
               ? drifton::vst::hostValueOfField(
                     *row, fields_[static_cast<std::size_t>(index)].load(std::memory_order_relaxed))
               : 0.0f;
}

void DriftonVST::getParameterName(VstInt32 index, char* text) {
    if (const drifton::ParameterRow* row = drifton::parameterRow(index)) {
        copyTextWithLimit(text, row->name, drifton::vst::nameLimit(*row));
    }
}

void DriftonVST::getParameterLabel(VstInt32 index, char* label) {
    const drifton::ParameterRow* row = drifton::parameterRow(index);
    copyTextWithLimit(label, row != nullptr ? drifton::vst::label(*row) : "",
                      drifton::vst::kTextLimit);
}

void DriftonVST::getParameterDisplay(VstInt32 index, char* text) {
    const drifton::ParameterRow* row = drifton::parameterRow(index);
    drifton::vst::DisplayText display;
    if (row != nullptr &&
        drifton::vst::display(
            *row, fields_[static_cast<std::size_t>(index)].load(std::memory_order_relaxed),
            display)) {
        copyTextWithLimit(text, display.c_str(), drifton::vst::displayLimit(*row));
    }
}

drifton::PanSettings DriftonVST::settings() const {
    drifton::PanSettings settings;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        drifton::setField(settings, drifton::kParameterTable[i].field,
                          fields_[i].load(std::memory_order_relaxed));
    }
    return settings;
}
