// The event loop and its waits, and the popups (file selection, confirmation), which a test
// or a script may answer from a queue instead of a person.
#include "userint.h"
#include "userint_readback.h"

#include "userint_widgets.h"
#include "utility.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

using namespace kvor_ui;

namespace {

QEventLoop *g_mainLoop = nullptr;
bool g_quitRequested = false;
int g_quitCode = 0;

struct FileAnswer {
    int result;
    std::string path;
};
std::deque<FileAnswer> g_fileAnswers;
std::deque<int> g_confirmAnswers;

} // namespace

// ==== event loop ================================================================================

namespace {
// Sleeps in the event loop until an event arrives or `seconds` have passed.
void WaitForEvents(QAbstractEventDispatcher *d, double seconds) {
    static QTimer *wake = [] {
        auto *t = new QTimer(QCoreApplication::instance());
        t->setSingleShot(true);
        t->setTimerType(Qt::PreciseTimer);
        return t;
    }();
    KeepTimersPunctual();
    // Whole milliseconds, rounded up, so that a wait for a deadline ends past it.
    wake->start(std::max(1, int(std::ceil(seconds * 1000.0))));
    d->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    wake->stop();
}
} // namespace

int ProcessSystemEvents(void) {
    QAbstractEventDispatcher *d = QAbstractEventDispatcher::instance();
    if (!d) return 0;
    // A caller that polls calls again at once: when nothing was pending and the previous
    // call ended less than a millisecond ago, a short sleep keeps it from burning a core. A
    // single call (the VIDEO loop's, once a cycle) returns at once.
    constexpr double kPollGap = 0.001;
    static double lastReturn = -1.0;
    QCoreApplication::sendPostedEvents();
    const bool polled = lastReturn >= 0 && Timer() - lastReturn < kPollGap;
    if (!d->processEvents(QEventLoop::AllEvents) && polled) WaitForEvents(d, kPollGap);
    lastReturn = Timer();
    return 0;
}

int ProcessSystemEventsUntil(double deadline) {
    QAbstractEventDispatcher *d = QAbstractEventDispatcher::instance();
    if (!d) {
        const double left = deadline - Timer();
        if (left > 0) Delay(left);
        return 0;
    }
    QCoreApplication::sendPostedEvents();
    if (d->processEvents(QEventLoop::AllEvents)) return 0;
    const double left = deadline - Timer();
    if (left > 0) WaitForEvents(d, left);
    return 0;
}

int RunUserInterface(void) {
    if (g_quitRequested) {
        g_quitRequested = false;
        return g_quitCode;
    }
    QEventLoop loop;
    QEventLoop *outer = g_mainLoop;
    g_mainLoop = &loop;
    int code = loop.exec();
    g_mainLoop = outer;
    g_quitRequested = false;
    return code;
}

int QuitUserInterface(int exitCode) {
    g_quitCode = exitCode;
    if (g_mainLoop) g_mainLoop->exit(exitCode);
    else g_quitRequested = true;
    return 0;
}

// ==== popups ========================================================================================

void QueueFileSelectAnswer(int result, const char *pathName) {
    g_fileAnswers.push_back(FileAnswer{result, pathName ? pathName : ""});
}

void QueueConfirmAnswer(int answer) { g_confirmAnswers.push_back(answer); }

int PendingPopupAnswers(void) { return int(g_fileAnswers.size() + g_confirmAnswers.size()); }

namespace {
FileSelectRequest g_lastFileRequest = {};
std::string g_lastConfirmTitle, g_lastConfirmMessage;

void CopyField(char *dst, const char *src) {
    std::snprintf(dst, MAX_PATHNAME_LEN, "%s", src ? src : "");
}
} // namespace

void GetLastFileSelectRequest(FileSelectRequest *request) {
    if (request) *request = g_lastFileRequest;
}

void GetLastConfirmRequest(char *title, char *message, int size) {
    if (title && size > 0) std::snprintf(title, size_t(size), "%s", g_lastConfirmTitle.c_str());
    if (message && size > 0) std::snprintf(message, size_t(size), "%s", g_lastConfirmMessage.c_str());
}

static int StorePath(const std::string &chosen, int result, char *pathName) {
    if (chosen.size() >= size_t(MAX_PATHNAME_LEN)) {
        // The caller's buffer cannot hold this path: refuse rather than cut it.
        if (pathName) pathName[0] = '\0';
        return VAL_PATH_TOO_LONG;
    }
    if (pathName) std::memcpy(pathName, chosen.c_str(), chosen.size() + 1);
    return result;
}

int FileSelectPopup(const char *defaultDirectory, const char *defaultFileName,
                    const char *fileTypeList, const char *title, int buttonLabel,
                    int restrictDirectory, int restrictExtension, int allowCancel,
                    int allowMakeDirectory, char *pathName) {
    (void)restrictDirectory;
    (void)allowCancel;
    CopyField(g_lastFileRequest.defaultDirectory, defaultDirectory);
    CopyField(g_lastFileRequest.defaultFileName, defaultFileName);
    CopyField(g_lastFileRequest.fileTypeList, fileTypeList);
    CopyField(g_lastFileRequest.title, title);
    g_lastFileRequest.buttonLabel = buttonLabel;
    g_lastFileRequest.restrictExtension = restrictExtension;
    if (!g_fileAnswers.empty()) {
        FileAnswer a = g_fileAnswers.front();
        g_fileAnswers.pop_front();
        if (a.result <= 0) {
            return a.result;
        }
        return StorePath(a.path, a.result, pathName);
    }
    if (HeadlessPlatform()) {
        std::fprintf(stderr, "kvor: file dialog \"%s\" cancelled: no display and no queued answer\n",
                     title ? title : "");
        return VAL_NO_FILE_SELECTED;
    }
    QFileDialog dlg(QApplication::activeWindow(), QString::fromLocal8Bit(title ? title : ""),
                    QString::fromLocal8Bit(defaultDirectory ? defaultDirectory : ""));
    const bool open = buttonLabel == VAL_LOAD_BUTTON || buttonLabel == VAL_SELECT_BUTTON;
    dlg.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dlg.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
    dlg.setOption(QFileDialog::ReadOnly, !allowMakeDirectory);
    if (fileTypeList && *fileTypeList) {
        QString filter = QString::fromLocal8Bit(fileTypeList);
        dlg.setNameFilter(restrictExtension ? filter : filter + QStringLiteral(";;All files (*)"));
        if (restrictExtension && filter.startsWith(QLatin1String("*.")))
            dlg.setDefaultSuffix(filter.mid(2).section(';', 0, 0));
    }
    static const char *kLabels[] = {"OK", "Save", "Select", "Load"};
    if (buttonLabel >= 0 && buttonLabel <= 3)
        dlg.setLabelText(QFileDialog::Accept, QString::fromLatin1(kLabels[buttonLabel]));
    if (defaultFileName && *defaultFileName) dlg.selectFile(QString::fromLocal8Bit(defaultFileName));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return VAL_NO_FILE_SELECTED;
    const QString chosen = QDir::toNativeSeparators(dlg.selectedFiles().front());
    const int result = QFileInfo::exists(chosen) ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED;
    return StorePath(chosen.toLocal8Bit().toStdString(), result, pathName);
}

int ConfirmPopup(const char *title, const char *message) {
    g_lastConfirmTitle = title ? title : "";
    g_lastConfirmMessage = message ? message : "";
    if (!g_confirmAnswers.empty()) {
        int a = g_confirmAnswers.front();
        g_confirmAnswers.pop_front();
        return a;
    }
    if (HeadlessPlatform()) {
        std::fprintf(stderr, "kvor: question \"%s\" answered no: no display and no queued answer\n",
                     title ? title : "");
        return 0;
    }
    auto answer = QMessageBox::question(QApplication::activeWindow(),
                                        QString::fromLocal8Bit(title ? title : ""),
                                        QString::fromLocal8Bit(message ? message : ""),
                                        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return answer == QMessageBox::Yes ? 1 : 0;
}
