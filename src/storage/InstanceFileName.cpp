#include "storage/InstanceFileName.h"

#include "core/util/Utf.h"

namespace parlane {

std::u16string instanceFileName(const std::u16string& fileName, int instance) {
  if (instance <= 0) return fileName;
  const std::u16string number = u"." + fromAscii(std::to_string(instance));
  if (fileName.find(number + u".txt") != std::u16string::npos) return fileName;
  const size_t extension = fileName.find(u".txt");
  if (extension == std::u16string::npos) {
    if (fileName.empty() || fileName.ends_with(number)) return fileName;
    return fileName + number;
  }
  std::u16string result = fileName;
  result.insert(extension, number);
  return result;
}

}  // namespace parlane
