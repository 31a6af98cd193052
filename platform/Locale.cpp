#include "platform/Locale.h"

namespace gridlark {

TFormatSettings& FormatSettings() {
  static TFormatSettings settings;
  return settings;
}

}  // namespace gridlark
