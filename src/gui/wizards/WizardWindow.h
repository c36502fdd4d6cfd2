#pragma once

#include "wizards/WizardForm.h"

namespace trovalo {

class TExcludeFilterPage;
class TFileFilter;

// What the wizards that make and change jobs share beyond the window of
// pages: a new or an existing job file (opened with the question about
// another computer's job), the filter page, the finish page, "Save" and
// "Save and Run".
class TWizardWindow : public TWizardForm
{
    Q_OBJECT

public:
    ~TWizardWindow() override;

    // Called by the console before SetFileName.
    void SetNew(bool value) { FNew = value; }
    bool New() const { return FNew; }

    // Loads the existing job or starts a new one, then prepares the pages.
    // Raises EAbortByUser when the file cannot be read (after saying so) or
    // the user declined another computer's job.
    void SetFileName(const QString &fileName);
    QString FileName() const { return FFileName; }

    // False when the job could not be saved (the user was told).
    bool BtnSaveClick();
    void BtnRunClick();

protected:
    TWizardWindow(const QString &objectName, const QString &caption);

    // The filter page.
    void AddFilterPage();
    // The last page: its text and the "Save and Run" button.
    void AddFinishPage(const QString &text);

    // Reads the job file strictly (raises ETrovaloError) and returns the
    // PC ID stored in it.
    virtual QString LoadJob(const QString &fileName) = 0;
    // The values a new job starts with.
    virtual void InitNewJob() = 0;
    // After the job was loaded or started: set the pages from it.
    virtual void PrepareJob() = 0;
    // Writes the job to FileName() (raises ETrovaloError).
    virtual void SaveJob() = 0;
    // "Save and Run": the job's LastUpdate becomes now.
    virtual void MarkRunStart() = 0;
    // The job's filter, shown on and taken from the filter page.
    virtual TFileFilter &JobFilter() = 0;

    void UpdateButtons() override;
    TExcludeFilterPage *FilterPage() const { return FFilterPage; }

    QPushButton *BtnSave = nullptr;
    QPushButton *BtnSaveandRun = nullptr;

private:
    QString FFileName;
    bool FNew = true;
    TExcludeFilterPage *FFilterPage = nullptr;
};

} // namespace trovalo
