// The host side of the parameter table: each operation finds the index's row
// and derives the host's view from it.
#include <algorithm>
#include <cmath>
#include <utility>

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

namespace {

// Every field in one expression, so that each row's field is a constant and
// its setField a single store (a loop over the table left a switch per row).
template <std::size_t... Row>
drifton::PanSettings settingsOf(
    const std::array<std::atomic<float>, drifton::kParameterCount>& fields,
    std::index_sequence<Row...>) {
    drifton::PanSettings settings;
    (drifton::setField(settings, drifton::kParameterTable[Row].field,
                       fields[Row].load(std::memory_order_relaxed)),
     ...);
    return settings;
}

}  // namespace

drifton::PanSettings DriftonVST::settings() const {
    return settingsOf(fields_, std::make_index_sequence<drifton::kParameterTable.size()>());
}
