// Writes small valid PDFs for tests: pages of given sizes, each with a black
// square near its top-left corner, and a correct cross-reference table.
#ifndef BRISA_TEST_PDFWRITER_H
#define BRISA_TEST_PDFWRITER_H

#include <stdio.h>
#include <string>
#include <utility>
#include <vector>

struct TestPage {
  int width, height;
  std::vector<std::string> lines;   // in the document's font (Helvetica), 12 points, 16 apart
};

inline std::string makeTestPdf(const std::vector<TestPage>& pages, const std::string& font = "Helvetica") {
  std::string out = "%PDF-1.4\n";
  std::vector<size_t> offsets;
  auto object = [&](const std::string& body) {
    offsets.push_back(out.size());
    out += std::to_string(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
  };
  object("<< /Type /Catalog /Pages 2 0 R >>");
  std::string kids;
  for (size_t i = 0; i < pages.size(); i++) kids += std::to_string(4 + 2 * i) + " 0 R ";
  object("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + " >>");
  object("<< /Type /Font /Subtype /Type1 /BaseFont /" + font + " >>");   // not embedded
  for (size_t i = 0; i < pages.size(); i++) {
    int w = pages[i].width, h = pages[i].height;
    object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + std::to_string(w) + " " + std::to_string(h) +
           "] /Resources << /Font << /F1 3 0 R >> >> /Contents " + std::to_string(5 + 2 * i) + " 0 R >>");
    std::string content = "0 0 0 rg 20 " + std::to_string(h - 120) + " 100 100 re f";
    for (size_t l = 0; l < pages[i].lines.size(); l++)
      content += "\nBT /F1 12 Tf 140 " + std::to_string(h - 40 - 16 * (int)l) + " Td (" + pages[i].lines[l] + ") Tj ET";
    object("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream");
  }
  size_t xref = out.size();
  out += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
  for (size_t offset : offsets) {
    char line[24];
    snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
    out += line;
  }
  out += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
  return out;
}

inline std::string makeTestPdf(const std::vector<std::pair<int, int>>& sizes) {
  std::vector<TestPage> pages;
  for (const auto& size : sizes) pages.push_back(TestPage{size.first, size.second, {}});
  return makeTestPdf(pages);
}

inline std::vector<std::pair<int, int>> letterPages(int count) {
  return std::vector<std::pair<int, int>>(count, std::make_pair(612, 792));
}

#endif
