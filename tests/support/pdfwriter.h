// Writes small valid PDFs for tests: pages of given sizes, each with a black
// square near its top-left corner, an optional outline, and a correct
// cross-reference table.
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

// One bookmark of an outline. Its links are indices into the outline's list,
// free to form loops; target holds raw dictionary entries (see below).
struct TestBookmark {
  std::string title;   // a literal string's bytes, escaped by the writer
  std::string target;
  int first = -1, last = -1, next = -1;
};

struct TestOutline {
  std::vector<TestBookmark> items;
  int first = -1, last = -1;   // the top level
  // Appends a bookmark under parent (-1: at the top level); its index.
  int add(int parent, const std::string& title, const std::string& target) {
    items.push_back(TestBookmark{title, target});
    int index = (int)items.size() - 1;
    int& first = parent < 0 ? this->first : items[parent].first;
    int& last = parent < 0 ? this->last : items[parent].last;
    if (last >= 0) items[last].next = index;
    if (first < 0) first = index;
    last = index;
    return index;
  }
};

// Targets, pages counted from 0: the page with a point to bring to the top,
// the whole page, the same through a GoTo action, and a web link.
inline std::string pageRef(int page) {
  return std::to_string(4 + 2 * page) + " 0 R";
}
inline std::string destAt(int page, int y) {
  return "/Dest [" + pageRef(page) + " /XYZ 0 " + std::to_string(y) + " 0]";
}
inline std::string destFit(int page) {
  return "/Dest [" + pageRef(page) + " /Fit]";
}
inline std::string goToAction(int page, int y) {
  return "/A << /S /GoTo /D [" + pageRef(page) + " /XYZ 0 " + std::to_string(y) + " 0] >>";
}
inline std::string uriAction(const std::string& uri) {
  return "/A << /S /URI /URI (" + uri + ") >>";
}

inline std::string pdfLiteral(const std::string& text) {
  std::string out = "(";
  for (char c : text) {
    if (c == '(' || c == ')' || c == '\\') out += '\\';
    out += c;
  }
  return out + ")";
}

// `drawing`: more content for every page, drawn last (F1 the font, Half a half-opaque state).
inline std::string makeTestPdf(const std::vector<TestPage>& pages, const std::string& font = "Helvetica",
                               const TestOutline& outline = TestOutline(), const std::string& drawing = "") {
  std::string out = "%PDF-1.4\n";
  std::vector<size_t> offsets;
  auto object = [&](const std::string& body) {
    offsets.push_back(out.size());
    out += std::to_string(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
  };
  int outlineRoot = 4 + 2 * (int)pages.size();
  auto ref = [&](int bookmark) { return std::to_string(outlineRoot + 1 + bookmark) + " 0 R"; };
  object(outline.first < 0 ? "<< /Type /Catalog /Pages 2 0 R >>"
                           : "<< /Type /Catalog /Pages 2 0 R /Outlines " + std::to_string(outlineRoot) + " 0 R >>");
  std::string kids;
  for (size_t i = 0; i < pages.size(); i++) kids += std::to_string(4 + 2 * i) + " 0 R ";
  object("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + " >>");
  object("<< /Type /Font /Subtype /Type1 /BaseFont /" + font + " >>");   // not embedded
  for (size_t i = 0; i < pages.size(); i++) {
    int w = pages[i].width, h = pages[i].height;
    object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + std::to_string(w) + " " + std::to_string(h) +
           "] /Resources << /Font << /F1 3 0 R >> /ExtGState << /Half << /ca 0.5 /CA 0.5 >> >> >> /Contents " +
           std::to_string(5 + 2 * i) + " 0 R >>");
    std::string content = "0 0 0 rg 20 " + std::to_string(h - 120) + " 100 100 re f";
    for (size_t l = 0; l < pages[i].lines.size(); l++)
      content += "\nBT /F1 12 Tf 140 " + std::to_string(h - 40 - 16 * (int)l) + " Td (" + pages[i].lines[l] + ") Tj ET";
    if (!drawing.empty()) content += "\n" + drawing;
    object("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream");
  }
  if (outline.first >= 0) {
    object("<< /Type /Outlines /First " + ref(outline.first) + " /Last " + ref(outline.last) + " >>");
    for (const TestBookmark& b : outline.items) {
      std::string body = "<< /Title " + pdfLiteral(b.title) + " " + b.target;
      if (b.first >= 0) body += " /First " + ref(b.first) + " /Last " + ref(b.last) + " /Count 1";
      if (b.next >= 0) body += " /Next " + ref(b.next);
      object(body + " >>");
    }
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
