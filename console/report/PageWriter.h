// The printable page of the scanned-files report, written fragment by
// fragment into a stream on global memory that the browser's document loads.
#pragma once

#include <string>

#include "platform/mmc/GlobalMemory.h"
#include "platform/win/WinTypes.h"

class CReportPageWriter {
public:
    CReportPageWriter() = default;
    ~CReportPageWriter();
    CReportPageWriter(const CReportPageWriter&) = delete;
    CReportPageWriter& operator=(const CReportPageWriter&) = delete;

    // Creates the stream, or empties and rewinds the one there is.
    HRESULT Open();
    // Head, style sheet, banner and title block; imageFolder is the folder
    // the two banner pictures sit in (no trailing backslash).
    void WriteHeader(const std::string& subject, const std::string& imageFolder);
    void WriteColumnHeaders();
    void WriteCell1(const std::string& name);
    void WriteCell2(const std::string& text);
    void WriteCell3(const std::string& text);
    // Ends the row and flips the grey / white alternation.
    void WriteCell4(const std::string& size);
    void WriteEndOfTable();
    // notice: the provider's line, already in HTML.
    void WriteFooter(const std::string& notice);
    // The stream (not added to): valid while the writer lives.
    IStream* Stream() const { return m_pStream; }
    // FALSE once an append could not be made (memory ran out).
    BOOL Succeeded() const { return m_bFailed ? FALSE : TRUE; }

private:
    void Append(const std::string& text);
    void WriteLeftCell(const std::string& text);

    IStream* m_pStream = nullptr;
    int m_nAlternate = 1;
    bool m_bFailed = false;
};

// A text as the page shows it: the characters HTML gives a meaning of its
// own are written as references, so a file name is never read as markup.
std::string HtmlText(const std::string& text);
