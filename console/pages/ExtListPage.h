// "Excluded extensions": edits, imports and exports the list of extensions
// that no scan job checks, and commits it to ExtExcluded.dat.
//
// The list lives in a working file in the temporary folder while the sheet
// is open; the commit moves that file over ExtExcluded.dat in one rename (or,
// from another file system, a copy written beside it and renamed over it),
// so the engine always finds a whole list, the old one or the new one.
#pragma once

#include <string>

#include "platform/ui/afx/PropertySheet.h"

class CExtListPage : public CPropertyPage {
public:
    CExtListPage();
    ~CExtListPage() override;

    BOOL OnSetActive() override;
    BOOL OnKillActive() override;
    BOOL OnApply() override;
    void OnReset() override;

    // The working file (Windows form); empty while there is none.
    const std::string& WorkingFile() const { return m_workingFile; }

protected:
    BOOL OnInitDialog() override;

private:
    void OnAdd();
    void OnRemove();
    void OnImport();
    void OnExport();
    void UpdateButtons();
    // Adds the extensions of a file's lines that the list does not hold yet;
    // FALSE (after showing why) when the file could not be read, and then
    // the list is as it was.
    BOOL FillFromFile(const std::string& path);
    // Whether the list holds the extension; adds it when not.
    bool AddExtension(const std::string& extension);
    BOOL WriteList(const std::string& path, DWORD& error) const;
    void EmptyList();
    void DeleteWorkingFile();
    void ShowFileError(DWORD error);

    CListCtrl m_list;
    CImageList m_images;
    std::string m_workingFile;
};
