// A thumbnail panel of given page sizes in the global record, laid out, with
// no window and no document behind it; bitmaps are stand-in pointers.
#ifndef BRISA_TEST_THUMBPANEL_H
#define BRISA_TEST_THUMBPANEL_H

#include <stdint.h>
#include <utility>
#include <vector>
#include "thumbs/panel.h"

struct TestPanelStorage {
  std::vector<double> widths, heights;
  std::vector<ThumbnailSlot> slots;
  std::vector<int> tops;
};

inline TestPanelStorage& testPanelStorage() {
  static TestPanelStorage storage;
  return storage;
}

inline void setTestPanel(const std::vector<std::pair<double, double>>& sizes, int dpi, int panelHeight) {
  TestPanelStorage& s = testPanelStorage();
  s.widths.clear();
  s.heights.clear();
  for (const auto& size : sizes) {
    s.widths.push_back(size.first);
    s.heights.push_back(size.second);
  }
  s.slots.assign(sizes.size(), ThumbnailSlot{nullptr, ThumbnailState::Empty});
  s.tops.assign(sizes.size(), 0);
  ThumbnailPanel& p = thumbnailPanel;
  p = ThumbnailPanel();
  p.dpi = dpi;
  p.panelShown = true;
  p.panelActive = !sizes.empty();
  p.thumbnailCount = (int)sizes.size();
  p.pageWidths = s.widths.data();
  p.pageHeights = s.heights.data();
  p.thumbnailSlots = s.slots.data();
  p.thumbnailTops = s.tops.data();
  p.panelHeight = panelHeight;
  p.highlightedPage = -1;
  layoutThumbnails();
}

inline std::vector<std::pair<double, double>> letterSizes(int count) {
  return std::vector<std::pair<double, double>>(count, {612, 792});
}

// A stand-in bitmap that names its page, never null.
inline void* fakeBitmap(int page) {
  return (void*)(uintptr_t)(page + 1);
}

inline void makeReady(int page) {
  thumbnailPanel.thumbnailSlots[page] = ThumbnailSlot{fakeBitmap(page), ThumbnailState::Ready};
  thumbnailPanel.thumbnailBitmapCount++;
}

#endif
