#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

// Points HOME at a fresh temporary folder while it lives, so that the documents folder and
// the test-mode profile of the code under test are never the user's own. Qt's test mode alone
// does not move the documents folder. Create it before anything reads a standard path.
class TempHome
{
public:
    // withDocuments: create the "Documents" folder in it (downloads need it to exist).
    explicit TempHome(bool withDocuments = true);
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    QString path() const { return m_dir.path(); }
    // The documents folder the program sees.
    QString documents() const;

private:
    QTemporaryDir m_dir;
    QByteArray m_previousHome;
    bool m_hadHome = false;
};

} // namespace testsupport
