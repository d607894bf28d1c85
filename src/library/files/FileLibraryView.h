#pragma once
// The file library panel of the Wendle edition, over the right-hand edge of the main window:
// "My Files" (what was imported into "~library/", newest first) and "Templates" (the catalogue
// with its search field, category chips and favorites). A half-round handle slides the panel out
// to the right and back. Its "Import" row, the "OpenFiles" notification and drops bring files in:
// pictures and PDFs are copied (side by side), presentations become folders of slide pictures (one
// conversion at a time, with a progress sheet), and the first file picked in the import panel is
// pasted into the window in front. Every import that fails is named in the panel.
//
// Threads: every widget and every field below belongs to the main thread. Listings, template
// thumbnails, copies and conversions run on workers and hand whole items back with queued calls,
// in order.
//
// The panel's member functions are defined by role: FileLibraryView.cpp (layout, what the panel
// shows, sliding, the "My Files" listing), FileLibraryTemplates.cpp (catalogue, favorites, search
// and categories) and FileLibraryImport.cpp (the road of an import, to its paste); its small
// widgets are in FileLibraryWidgets.h.
#include <QJsonObject>
#include <QPointer>
#include <QStringList>
#include <QThreadPool>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

#include "library/LibraryFile.h"
#include "library/MainThreadHandover.h"
#include "library/files/ImportQueue.h"
#include "library/files/Paste.h"
#include "library/files/TemplateSearch.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QScrollArea;
class QTabWidget;
class QVariantAnimation;
class QGridLayout;

namespace qv::layout {
class WrappingRow;
}

namespace qv::library {

class CellGrid;
class CollapseHandle;

// What the panel needs from the desktop; tests replace the parts they drive.
struct FileLibraryServices {
    // The import panel: the chosen files, in the panel's order (empty when cancelled).
    std::function<QStringList(QWidget* parent)> chooseFiles;
    // Posts Ctrl+V to the window in front.
    std::shared_ptr<KeyPoster> keyPoster;
    // LibreOffice's executable and how long one conversion may take.
    QString officeProgram = QStringLiteral("soffice");
    int conversionTimeoutMs = 300000;
    // The delay of the slide-out after the panel first appears, and of the retries while no save
    // folder is known.
    int collapseDelayMs = 3000;
    int retryDelayMs = 3000;

    // The real desktop: a file dialog and XTest.
    static FileLibraryServices desktop();
};

class FileLibraryView : public QWidget {
    Q_OBJECT
public:
    explicit FileLibraryView(FileLibraryServices services = FileLibraryServices::desktop(), QWidget* parent = nullptr);
    ~FileLibraryView() override;

    // The panel's state.
    bool hideFileLibrary() const { return hideFileLibrary_; }
    const std::vector<LibraryFilePtr>& fileList() const { return fileList_; }
    const std::vector<LibraryFilePtr>& templateList() const { return templateList_; }
    std::vector<LibraryFilePtr> templateListFiltered() const;
    bool showingConvertingAlert() const { return showingConvertingAlert_; }
    const QStringList& categoryList() const { return categoryList_; }
    const QString& hoveredCategory() const { return hoveredCategory_; }
    const QString& selectedCategory() const { return search_.selectedCategory(); }
    const QString& searchText() const { return search_.searchText(); }
    const QJsonObject& templatesJson() const { return templatesJson_; }
    const QStringList& favoriteTemplates() const { return favoriteTemplates_; }
    // True once the catalogue has been loaded to its end (favorites are saved only then).
    bool templatesLoaded() const { return templatesLoaded_; }
    // The failures shown to the user, one a line, oldest first (empty when none).
    QString errorText() const;

    // Operations.
    void panelAppeared();
    void collapse();
    void toggleCollapsed();
    void loadLibraryFiles();
    void removeFile(const LibraryFilePtr& item);
    void loadTemplates();
    void saveFavorites();
    void onSearchTextChanged(const QString& text);
    void selectCategory(int index);
    void setHoveredCategory(const QString& category);
    void showImportPanel();
    // Imports files (as a drop does): false without a library folder.
    bool importDropped(const QList<QUrl>& urls);
    void importFile(const QString& path, bool paste);

    // Parts, for the tests and the screenshots.
    QTabWidget* tabs() const { return tabs_; }
    QLineEdit* searchField() const { return searchField_; }
    QWidget* chipRow() const { return chipRow_; }
    QList<QLabel*> chips() const;
    std::vector<QWidget*> fileCells() const;
    std::vector<QWidget*> templateCells() const;
    QWidget* importRow() const { return importRow_; }
    QWidget* handle() const;
    QWidget* convertingSheet() const { return sheet_; }
    QLabel* convertingText() const { return sheetText_; }
    QLabel* myFilesEmptyText() const { return filesEmpty_; }
    QLabel* noTemplatesText() const { return templatesEmpty_; }
    // How far the panel is slid out (0 open, 400 collapsed), following the animation.
    double shift() const { return shift_; }
    // Waits (in tests) until the queued imports are done.
    bool waitForImports(int timeoutMs);

    QSize sizeHint() const override;

    static constexpr int bodyWidth = 400;
    static constexpr int handleSize = 50;
    static constexpr int handleOffset = 33;

signals:
    // Any change of what the panel shows (lists, counts, sheet, error).
    void changed();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Runs `f` later on the main thread with the panel, unless the panel is gone by then.
    static void postTo(const std::shared_ptr<MainThreadHandover>& handover, FileLibraryView* view,
                       std::function<void(FileLibraryView&)> f);

    void buildWidgets();
    QWidget* buildMyFilesTab();
    QWidget* buildTemplatesTab();
    void setHideFileLibrary(bool hide, bool animated);
    void setShift(double shift);
    void retryWithSaveFolder(void (FileLibraryView::*load)());
    void refreshFiles();
    void refreshTemplates();
    void refreshChips();
    void refreshSheet();
    void showError(const QString& text);
    // The body's height: the tab view's, and the failures bar's while it shows.
    void fitBody();
    void importEnded(const ImportOutcome& outcome, bool paste);
    std::vector<TemplateFacts> templateFacts() const;
    void addImported(const LibraryFilePtr& item, bool paste);

    FileLibraryServices services_;
    std::shared_ptr<MainThreadHandover> handover_;
    QThreadPool listingPool_;
    std::unique_ptr<ImportQueue> imports_;

    // State.
    bool hideFileLibrary_ = false;
    std::vector<LibraryFilePtr> fileList_;
    std::vector<LibraryFilePtr> templateList_;
    bool showingConvertingAlert_ = false;
    QStringList categoryList_;
    QString hoveredCategory_;
    TemplateSearch search_;
    QJsonObject templatesJson_;
    QStringList favoriteTemplates_;
    bool templatesLoaded_ = false;
    // False while "favorites.json" could not be read and is still there: it is never written over.
    bool favoritesWritable_ = true;
    QStringList errors_;
    int listingGeneration_ = 0;
    int templatesGeneration_ = 0;
    bool appearedOnce_ = false;
    double shift_ = 0;
    int sheetDone_ = 0;
    int sheetTotal_ = 0;

    // Widgets.
    QWidget* body_ = nullptr;
    CollapseHandle* handle_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QWidget* importRow_ = nullptr;
    QLabel* filesEmpty_ = nullptr;
    CellGrid* filesGrid_ = nullptr;
    QLineEdit* searchField_ = nullptr;
    QWidget* chipRow_ = nullptr;
    layout::WrappingRow* chipLayout_ = nullptr;
    QLabel* templatesEmpty_ = nullptr;
    CellGrid* templatesGrid_ = nullptr;
    QWidget* sheet_ = nullptr;
    QLabel* sheetText_ = nullptr;
    QProgressBar* sheetProgress_ = nullptr;
    QWidget* errorBar_ = nullptr;
    QLabel* errorLabel_ = nullptr;
    QScrollArea* errorScroll_ = nullptr;
    QVariantAnimation* slide_ = nullptr;
    bool settingSearchText_ = false;
};

}  // namespace qv::library
