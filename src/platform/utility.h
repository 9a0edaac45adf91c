// Utility operations of the platform: time, pauses, the program's folder, paths, files.
#pragma once

// Monotonic seconds since an arbitrary start.
double Timer(void);
// Waits `seconds` without processing events.
int Delay(double seconds);
// Timed sleeps of the calling thread end within about a microsecond of their deadline
// (Linux; elsewhere nothing changes). Delay and the event loop's waits call it.
void KeepTimersPunctual(void);
// Gives up the processor once (ms 0) or sleeps ms milliseconds.
void Sleep(unsigned milliseconds);
// The program's folder when it is writable and not installed beside a share folder,
// otherwise the per-user data folder (XDG_DATA_HOME/kvor-rur-glint).
// `dir` holds MAX_PATHNAME_LEN bytes. Returns 0.
int GetProjectDir(char *dir);
// Joins a folder and a file name; returns 0, or -1 when the result does not fit
// MAX_PATHNAME_LEN bytes (path is then the empty string).
int MakePathname(const char *dir, const char *fileName, char *path);
// Deletes a file; 0 on success, negative on failure.
int CVI_DeleteFile(const char *fileName);
// 1 when the file exists.
int FileExists(const char *fileName);

// Sets the folder that GetProjectDir reports (launch option --data-dir, and tests).
void SetProjectDirOverride(const char *dir);

// Writes one line to the program's error output (start-up failures).
void ReportError(const char *line);
