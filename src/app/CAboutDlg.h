#pragma once
// The About box: the program's icon, its version and copyright.

#include <QDialog>
#include <QString>

class QLabel;

namespace velmora {

// The program's own version record.
inline constexpr const char* kProductVersion = VELMORA_VERSION;
inline constexpr const char* kLegalCopyright = "Copyright (C) 2026 Hovelt";

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    // "Version 1.0.0.3"; a special build is appended ("-beta"), or stands
    // alone when there is no version; empty when there is neither.
    static QString VersionText(const QString& productVersion, const QString& specialBuild);

    QString ShownVersion() const;
    QString ShownCopyright() const;

private:
    QLabel* m_pVersion = nullptr;
    QLabel* m_pCopyright = nullptr;
};

} // namespace velmora
