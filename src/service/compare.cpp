#include "compare.h"

#include "com232.h"
#include "parafile.h"
#include "shell.h"
#include "transfer.h"
#include "userint.h"

int CompareResult::RamEepromDifferences() const {
    if (!haveRam || !haveEeprom) return -1;
    int n = 0;
    for (int i = 0; i < PNUM; i++)
        n += ram[i] != eeprom[i];
    return n;
}

bool CompareResult::Differs(int column, int word) const {
    const bool have[3] = {haveRam, haveEeprom, haveFile};
    const unsigned short *values[3] = {ram, eeprom, file};
    if (!have[column]) return false;
    for (int other = 0; other < 3; other++)
        if (other != column && have[other] && values[other][word] != values[column][word])
            return true;
    return false;
}

QString CompareResult::Summary() const {
    const int n = RamEepromDifferences();
    if (n == 0) return QStringLiteral("RAM = EEPROM");
    if (n > 0) return QStringLiteral("RAM differs from EEPROM in %1 words: not saved").arg(n);
    if (!haveRam && !haveEeprom) return QStringLiteral("RAM and EEPROM not read");
    return haveRam ? QStringLiteral("EEPROM not read") : QStringLiteral("RAM not read");
}

CompareResult ReadCompare(bool askFile) {
    CompareResult r;
    r.haveRam = ReadParaFrame(RAM, r.ram) == 1;
    r.haveEeprom = ReadParaFrame(EEPROM, r.eeprom) == 1;
    if (!askFile) return r;
    char path[MAX_PATHNAME_LEN] = {};
    const int chosen = FileSelectPopup(proj_dir, "KVORpara.cfg", "*.cfg",
                                       "K-VOR-RUR-Parameter-File", VAL_LOAD_BUTTON, 0, 1, 1, 1,
                                       path);
    if (chosen <= 0 || path[0] == '\0') return r;
    r.fileName = QString::fromLocal8Bit(path);
    const int count = ReadParaFileWords(path, r.file);
    r.haveFile = count >= PNUM;
    if (!r.haveFile) {
        const QString text = (count < 0 ? QStringLiteral("Cannot read parameter file %1!")
                                        : QStringLiteral("Incomplete parameter file %1 - not used!"))
                                 .arg(r.fileName.section('/', -1));
        SetStatus(text.toLocal8Bit().constData());
        ShowStatus();
    }
    return r;
}
