#include "textui/status_line.h"

#include "textui/console.h"
#include "textui/draw.h"

void ShowStatus(const std::string& text, uint8_t normal, uint8_t highlight) {
  const bool rows = Geometry.CentreRows, columns = Geometry.CentreColumns;
  Geometry.CentreRows = false;
  Geometry.CentreColumns = false;
  std::string copy = text.substr(0, 255);
  bool highlightNext = true;
  for (size_t at = copy.find('~'); at != std::string::npos; at = copy.find('~', at + 2)) {
    copy[at] = AttributeEscape;
    copy.insert(at + 1, 1, static_cast<char>(highlightNext ? highlight : normal));
    highlightNext = !highlightNext;
    // A text stays within 255 characters; what is pushed past that is lost.
    if (copy.size() > 255) copy.resize(255);
  }
  PutText(1, Console.ScreenRows, normal, copy, Console.ScreenColumns);
  Geometry.CentreRows = rows;
  Geometry.CentreColumns = columns;
}
