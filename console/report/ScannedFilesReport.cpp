#include "console/report/ScannedFilesReport.h"

#include "common/DebugLog.h"
#include "common/ProductStrings.h"
#include "common/Settings.h"
#include "console/report/PageWriter.h"
#include "console/report/ReportRows.h"
#include "console/snapin/ComponentData.h"
#include "platform/browser/WebBrowser.h"
#include "platform/com/Activation.h"
#include "platform/system/SystemInfo.h"
#include "platform/ui/afx/Wnd.h"
#include "strings/CodeMap.h"

namespace {

constexpr int kDocumentTries = 9;
// How long one wait for a busy browser lasts at most, in steps of 50 ms: a
// browser that never settles must not hold the console for good.
constexpr int kBusySteps = 200;

// The folder above the data folder: the program folder, where the
// installation puts the banner pictures.
std::string ImageFolder() {
    std::string dataPath = g_szDataPath;
    size_t slash = dataPath.rfind('\\');
    return slash == std::string::npos ? dataPath : dataPath.substr(0, slash);
}

std::string FooterNotice() {
    return "&nbsp;&copy; " + HtmlText(ProductText(PSC_PROVIDER)) + " All rights reserved.";
}

IDispatch* WaitForDocument(IWebBrowser2* browser) {
    IDispatch* document = nullptr;
    for (int attempt = 0; attempt < kDocumentTries && document == nullptr; ++attempt) {
        VARIANT_BOOL busy = VARIANT_TRUE;
        for (int step = 0; step < kBusySteps && SUCCEEDED(browser->get_Busy(&busy)) && busy != VARIANT_FALSE; ++step)
            Sleep(50);
        if (FAILED(browser->get_Document(&document))) document = nullptr;
    }
    return document;
}

}  // namespace

void WriteScannedFilesReport(CConsoleData& data, LONG profileId, CReportPageWriter& writer) {
    writer.WriteHeader(ReportSubject(data, profileId), ImageFolder());
    writer.WriteColumnHeaders();
    WriteReportRows(data, profileId, writer);
    writer.WriteEndOfTable();
    writer.WriteFooter(FooterNotice());
}

void ShowScannedFilesReport(CComponentData* componentData, LONG profileId) {
    WriteDebugLog(6, " >> ShowScannedFilesReport");
    IWebBrowser2* browser = nullptr;
    IDispatch* document = nullptr;
    IPersistStreamInit* persist = nullptr;
    try {
        HRESULT hr = CoCreateInstance(CLSID_InternetExplorer, nullptr, CLSCTX_SERVER, IID_IWebBrowser2,
                                      reinterpret_cast<void**>(&browser));
        if (FAILED(hr) || browser == nullptr) {
            browser = nullptr;
            WriteDebugLog(1, "ShowScannedFilesReport. Could not start the browser");
        } else {
            BSTR blank = SysAllocString(u"about:blank");
            browser->Navigate(blank, nullptr, nullptr, nullptr, nullptr);
            SysFreeString(blank);
            document = WaitForDocument(browser);
            browser->put_Visible(VARIANT_TRUE);
            if (document == nullptr ||
                FAILED(document->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist))) ||
                persist == nullptr) {
                persist = nullptr;
                WriteDebugLog(1, "ShowScannedFilesReport. Could not reach the browser's document");
            } else if (SUCCEEDED(persist->InitNew())) {
                CWaitCursor wait;
                CReportPageWriter writer;
                if (SUCCEEDED(writer.Open()) && componentData != nullptr) {
                    WriteScannedFilesReport(componentData->m_data, profileId, writer);
                    LARGE_INTEGER start{};
                    writer.Stream()->Seek(start, STREAM_SEEK_SET, nullptr);
                    if (!writer.Succeeded() || FAILED(persist->Load(writer.Stream())))
                        WriteDebugLog(1, "ShowScannedFilesReport. The report could not be handed to the browser");
                }
            }
        }
    } catch (...) {
        WriteDebugLog(1, "Unexpected error in ShowScannedFilesReport");
    }
    if (persist != nullptr) persist->Release();
    if (document != nullptr) document->Release();
    if (browser != nullptr) browser->Release();
    WriteDebugLog(6, " << ShowScannedFilesReport");
}
