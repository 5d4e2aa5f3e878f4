#pragma once

#include "gsm/PduDecoderOptions.h"
#include "gsm/PduEncoderOptions.h"

namespace parlane {

class SettingsStore;

// The codec's options as the configuration gives them.
PduEncoderOptions encoderOptionsFrom(const SettingsStore& settings);
PduDecoderOptions decoderOptionsFrom(const SettingsStore& settings);

}  // namespace parlane
