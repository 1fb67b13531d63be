#include "console/report/PageWriter.h"

#include "common/ResourceModule.h"

CReportPageWriter::~CReportPageWriter() {
    if (m_pStream != nullptr) m_pStream->Release();
}

HRESULT CReportPageWriter::Open() {
    m_bFailed = false;
    if (m_pStream == nullptr) return CreateStreamOnHGlobal(nullptr, TRUE, &m_pStream);
    ULARGE_INTEGER empty{};
    LARGE_INTEGER start{};
    HRESULT hr = m_pStream->SetSize(empty);
    if (SUCCEEDED(hr)) hr = m_pStream->Seek(start, STREAM_SEEK_SET, nullptr);
    return hr;
}

void CReportPageWriter::Append(const std::string& text) {
    if (m_pStream == nullptr || m_bFailed || text.empty()) return;
    ULONG written = 0;
    if (FAILED(m_pStream->Write(text.data(), static_cast<ULONG>(text.size()), &written)) || written != text.size())
        m_bFailed = true;
}

void CReportPageWriter::WriteHeader(const std::string& subject, const std::string& imageFolder) {
    const std::string title = HtmlText(subject);
    Append("<html><head>\n");
    Append("<meta http-equiv=\"Content-Language\" content=\"en-us\">\n");
    Append("<meta name=\"GENERATOR\" content=\"Microsoft FrontPage 5.0\">\n");
    Append("<meta name=\"ProgId\" content=\"FrontPage.Editor.Document\">\n");
    Append("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">\n");
    Append("<title>All files scanned by the " + title + "</title>\n");
    Append("<style>\n<!--\n");
    Append(".normal\n{\nfont-family:arial, verdana, serif;\nfont-size:10pt;\ncolor:black;\n}\n");
    Append(".HEADERS\n{\nfont-family:arial, verdana, serif;\nfont-size:10pt;\nfont-weight:bold;\ncolor:gold;\n"
           "background-color:black;\n}\n");
    Append(".DAY\n{\nfont-family:arial, verdana, serif;\nfont-size:8pt;\ncolor:black;\nbackground-color:white;\n}\n");
    Append(".limit1000\n{\ncolor:red;\nfont-weight:bold;\n}\n");
    Append(".sort\n{\nbackground-color:f7f7f7;\n}\n");
    Append(".limit0000\n{\n}\n");
    Append("-->\n</style>\n</head>\n");
    Append("<body>\n");
    Append("<table width=\"100%\" border=\"0\" cellpadding=\"0\" cellspacing=\"0\" height=\"0\">\n");
    Append("<tr>\n<td>\n<div align=\"left\">\n");
    Append("<img src=\"" + HtmlText(imageFolder + "\\top_menu_left.gif") +
           "\" border=\"0\" hspace=\"10\" alt=\"Kestrava\" width=\"70\" height=\"28\">");
    Append("</div>\n</td>\n<td>\n<div align=\"right\">\n");
    Append("<img src=\"" + HtmlText(imageFolder + "\\top_menu_right.jpg") + "\" border=\"0\" width=\"393\" height=\"40\">");
    Append("</div>\n</td>\n</tr>\n<tr>\n<td bgcolor=\"#000000\" colspan=\"2\" height=\"2\"></td>\n</tr>\n</table>\n");
    Append("<div align=\"center\">\n");
    Append("<table cellpadding=\"2\" cellspacing=\"0\" border=\"0\" width=\"800\" style=\"border-collapse: collapse\">\n");
    Append("<tr class=\"normal\" style=\"font-size: 16pt\">\n<td><br>\n");
    Append("<b>All files scanned by the " + title + "</b></td>\n");
    Append("</tr>\n</table>\n</div>\n");
    for (int i = 0; i < 4; ++i) Append("<p align=\"center\" class=\"normal\"></p>\n");
    Append("<p></p>\n<p></p>\n<p></p>\n<p></p>\n<p></p>\n<p></p>\n");
}

void CReportPageWriter::WriteColumnHeaders() {
    Append("<div align=\"center\">\n");
    Append("<table cellpadding=\"1\" cellspacing=\"1\" border=\"0\" width=\"800\" style=\"border-collapse: collapse\">\n");
    Append("<tr class=\"HEADERS\">\n");
    for (UINT id : {48u, 49u, 50u, 51u}) {
        std::string text;
        LoadResourceString(id, text);
        Append("<td align=\"center\">" + HtmlText(text) + "</td>\n");
    }
    Append("</tr>\n<tr>\n<td colspan=\"4\" bgcolor=\"#ffffff\"></td>\n</tr>\n");
}

void CReportPageWriter::WriteCell1(const std::string& name) {
    Append("<tr class=\"DAY limit0000\">\n");
    Append(m_nAlternate == 1
               ? "<td class=\"sort\" bordercolor=\"#E0E0E0\" style=\"background-color: #E0E0E0\">\n&nbsp;"
               : "<td class=\"sort\" bordercolor=\"#FFFFFF\" style=\"background-color: #FFFFFF\">\n&nbsp;");
    Append(HtmlText(name) + "</td>\n");
}

void CReportPageWriter::WriteLeftCell(const std::string& text) {
    Append(m_nAlternate == 1 ? "<td align=\"left\" style=\"background-color: #E0E0E0\" bordercolor=\"#E0E0E0\">\n"
                             : "<td align=\"left\" bordercolor=\"#FFFFFF\">\n");
    Append(HtmlText(text) + "</td>\n");
}

void CReportPageWriter::WriteCell2(const std::string& text) { WriteLeftCell(text); }

void CReportPageWriter::WriteCell3(const std::string& text) { WriteLeftCell(text); }

void CReportPageWriter::WriteCell4(const std::string& size) {
    Append(m_nAlternate == 1 ? "<td align=\"right\" style=\"background-color: #E0E0E0\" bordercolor=\"#E0E0E0\">\n"
                             : "<td align=\"right\" bordercolor=\"#FFFFFF\">\n");
    Append(HtmlText(size));
    Append("</td>\n</tr>\n<tr>\n<td colspan=\"4\" bgcolor=\"#E0E0E0\"></td>\n</tr>\n");
    m_nAlternate = m_nAlternate == 1 ? 0 : 1;
}

void CReportPageWriter::WriteEndOfTable() { Append("</table>\n</div>\n</div>\n"); }

void CReportPageWriter::WriteFooter(const std::string& notice) {
    Append("<div style=\"width: 901; height: 38\">\n");
    Append("&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;\n</div>\n");
    Append("<table width=\"100%\" border=\"0\" cellpadding=\"0\" cellspacing=\"0\" height=\"0\">\n<tr>\n");
    Append("<td bgcolor=\"#000000\" width=\"10\"></td>\n");
    Append("<td bgcolor=\"#000000\" align=\"left\" valign=\"center\" height=\"20\" class=\"normal\" style=\"color: white\">\n");
    Append(notice + "</td>\n");
    Append("</tr>\n</table>\n</body>\n</html>");
}

std::string HtmlText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}
