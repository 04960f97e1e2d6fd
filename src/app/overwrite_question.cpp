#include "app/overwrite_question.h"

#include <cstring>

#include "fs/format.h"
#include "fs/fs.h"
#include "options/dates.h"
#include "report/report.h"
#include "report/string_ids.h"
#include "zip/records.h"

namespace {

constexpr int kFigureSize = 32;
constexpr int kStringSize = 256;

// "%02d:%02d:%02d" of a DOS time: seconds are twice the stored count and are not limited.
void TimeText(uint16_t dosTime, char* out) {
  FormatText(out, kFigureSize, "%02d:%02d:%02d", dosTime >> 11, (dosTime >> 5) & 0x3F,
             2 * (dosTime & 0x1F));
}

void Figures(uint64_t size, uint32_t dosDateTime, int dateOrder, char* sizeText, char* dateText,
             char* timeText) {
  FormatText(sizeText, kFigureSize, "%llu", static_cast<unsigned long long>(size));
  InsertThousandsSeparators(sizeText);
  FormatDate(dosDateTime, dateOrder, dateText);
  TimeText(static_cast<uint16_t>(dosDateTime & 0xFFFF), timeText);
}

}  // namespace

void ComposeOverwriteQuestion(ReportFrontEnd& frontEnd, int dateOrder, char* text, size_t size,
                              const char* name, const CentralHeader& entry) {
  if (size == 0) return;
  char existing[kStringSize], incoming[kStringSize];
  frontEnd.loadString(IDS_OVERWRITE_EXISTING, existing, sizeof existing);
  frontEnd.loadString(IDS_OVERWRITE_NEW, incoming, sizeof incoming);
  char sizeText[kFigureSize], dateText[kFigureSize], timeText[kFigureSize];

  FindInfo info{};
  SearchHandle search = findFirst(name, &info);
  if (search != kNoSearch) {
    endSearch(search);
    Figures(info.size, info.lastWrite, dateOrder, sizeText, dateText, timeText);
    FormatText(text, size, existing, name, sizeText, dateText, timeText);
  } else {
    FormatText(text, size, "%s", name);
  }
  size_t used = std::strlen(text);
  Figures(entry.uncompressedSize, entry.dosDateTime, dateOrder, sizeText, dateText, timeText);
  FormatText(text + used, size - used, incoming, sizeText, dateText, timeText);
}
