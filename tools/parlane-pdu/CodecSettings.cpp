#include "CodecSettings.h"

#include "core/settings/SettingsStore.h"
#include "gsm/NationalLanguageList.h"

namespace parlane {

PduEncoderOptions encoderOptionsFrom(const SettingsStore& settings) {
  PduEncoderOptions options;
  options.lengthCorrection = settings.getInt("sms.length_correction");
  options.smscInPdu = settings.getInt("smsc_addr_in_pdu") == 1;
  options.smscAddress = settings.getString("smsc.address");
  options.nationalLanguages = parseNationalLanguages(settings.getString("sms.national_languages"));
  return options;
}

PduDecoderOptions decoderOptionsFrom(const SettingsStore& settings) {
  PduDecoderOptions options;
  options.statusReportWithoutSmsc = settings.getInt("cds_no_smsc_addr") != 0;
  return options;
}

}  // namespace parlane
