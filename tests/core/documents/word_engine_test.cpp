// The document engine on the installed LibreOffice: passwords set, changed
// and removed, checked by reading the documents independently.

#include "support/word_support.h"

#include "support/scriptedplatform.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace kestrune;
using namespace kestrune::test;

namespace {

QStringList leftovers(const TempDir& dir)
{
    return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

}  // namespace

TEST(WordEngine, DocxPasswordsAreSetChangedAndRemoved)
{
    TempDir dir;
    const QString file = copyWordFixture(dir, QStringLiteral("word_sample.docx"), QStringLiteral("报告 #1%.docx"));
    auto app = startWord();
    ASSERT_TRUE(app);

    // Both passwords: AES encryption and a write protection for the modify password.
    ASSERT_EQ(protect(*app, file, QStringLiteral("739"), QStringLiteral("5917")), QString());
    Protection p = inspect(file, QStringLiteral("739"), QStringLiteral("5917"));
    EXPECT_TRUE(p.encrypted);
    EXPECT_TRUE(p.decrypts);
    EXPECT_TRUE(p.rejectsWrong);
    EXPECT_EQ(p.writeProtection, QStringLiteral("match"));
    EXPECT_EQ(inspect(file, QStringLiteral("739"), QStringLiteral("5918")).writeProtection, QStringLiteral("mismatch"));

    // Changing them asks for the current open password, masked, naming the document.
    scripted().inputs.push_back(QStringLiteral("739"));
    ASSERT_EQ(protect(*app, file, QStringLiteral("新密码"), QStringLiteral("写")), QString());
    const auto inputs = scripted().of(Interaction::Input);
    ASSERT_EQ(inputs.size(), 1u);
    EXPECT_TRUE(inputs[0].masked);
    EXPECT_TRUE(inputs[0].text.contains(QStringLiteral("报告 #1%.docx"))) << inputs[0].text.toStdString();
    p = inspect(file, QStringLiteral("新密码"), QStringLiteral("写"));
    EXPECT_TRUE(p.decrypts);
    EXPECT_EQ(p.writeProtection, QStringLiteral("match"));
    EXPECT_FALSE(inspect(file, QStringLiteral("739"), QStringLiteral("写")).decrypts);

    // Only a modify password: not encrypted, write protection kept.
    scripted().inputs.push_back(QStringLiteral("新密码"));
    ASSERT_EQ(protect(*app, file, QString(), QStringLiteral("5917")), QString());
    p = inspect(file, QString(), QStringLiteral("5917"));
    EXPECT_FALSE(p.encrypted);
    EXPECT_EQ(p.writeProtection, QStringLiteral("match"));

    // Both empty: neither password is left.
    ASSERT_EQ(protect(*app, file, QString(), QString()), QString());
    p = inspect(file, QString(), QString());
    EXPECT_FALSE(p.encrypted);
    EXPECT_EQ(p.writeProtection, QStringLiteral("none"));

    EXPECT_EQ(leftovers(dir), QStringList{QStringLiteral("报告 #1%.docx")});
}

TEST(WordEngine, DocGetsRc4OpenPasswordAndRefusesModifyPassword)
{
    TempDir dir;
    const QString file = copyWordFixture(dir, QStringLiteral("word_sample.doc"), QStringLiteral("old.doc"));
    const QString link = dir.file(QStringLiteral("link.doc"));
    ASSERT_TRUE(QFile::link(file, link));
    auto app = startWord();
    ASSERT_TRUE(app);

    // Through a link: the document it points to is re-protected, the link stays.
    ASSERT_EQ(protect(*app, link, QStringLiteral("739"), QString()), QString());
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    Protection p = inspect(file, QStringLiteral("739"), QString());
    EXPECT_TRUE(p.encrypted);
    EXPECT_TRUE(p.encryptedFlag);
    EXPECT_FALSE(p.template_);
    EXPECT_TRUE(p.decrypts);
    EXPECT_TRUE(p.rejectsWrong);

    // A template stays a template.
    const QString dot = copyWordFixture(dir, QStringLiteral("word_sample.dot"), QStringLiteral("form.dot"));
    EXPECT_TRUE(inspect(dot, QString(), QString()).template_);
    ASSERT_EQ(protect(*app, dot, QStringLiteral("739"), QString()), QString());
    p = inspect(dot, QStringLiteral("739"), QString());
    EXPECT_TRUE(p.template_);
    EXPECT_TRUE(p.decrypts);

    // A modify password cannot be stored in this format: the document gets
    // its new open password, and the run says the rest was not done.
    scripted().inputs.push_back(QStringLiteral("739"));
    const QString failure = protect(*app, file, QStringLiteral("5917x"), QStringLiteral("5917"));
    EXPECT_TRUE(failure.contains(QStringLiteral("不支持"))) << failure.toStdString();
    p = inspect(file, QStringLiteral("5917x"), QString());
    EXPECT_TRUE(p.encrypted);
    EXPECT_TRUE(p.decrypts);

    scripted().inputs.push_back(QStringLiteral("5917x"));
    ASSERT_EQ(protect(*app, file, QString(), QString()), QString());
    p = inspect(file, QString(), QString());
    EXPECT_FALSE(p.encrypted);
    EXPECT_FALSE(p.encryptedFlag);
    EXPECT_EQ(leftovers(dir),
              (QStringList{QStringLiteral("form.dot"), QStringLiteral("link.doc"), QStringLiteral("old.doc")}));
}

TEST(WordEngine, EncryptedDocumentNeedsItsCurrentPasswordAndQuitEndsTheOffice)
{
    TempDir dir;
    const QString file = copyWordFixture(dir, QStringLiteral("word_sample.docx"), QStringLiteral("locked.docx"));
    auto app = startWord();
    ASSERT_TRUE(app);
    ASSERT_EQ(protect(*app, file, QStringLiteral("739"), QString()), QString());
    const QByteArray before = readBytes(file);

    // Cancelled prompt: the attempt fails, nothing is written.
    int opened = 0;
    const auto counter = QObject::connect(app.get(), &WordApplication::DocumentOpen, [&] { ++opened; });
    QString failure = protect(*app, file, QString(), QString());
    EXPECT_FALSE(failure.isEmpty());
    EXPECT_EQ(scripted().of(Interaction::Input).size(), 1u);
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(readBytes(file), before);
    QObject::disconnect(counter);

    // A wrong password fails the attempt without asking again.
    scripted().clear();
    scripted().inputs.push_back(QStringLiteral("738"));
    failure = protect(*app, file, QString(), QString());
    EXPECT_TRUE(failure.contains(QStringLiteral("不正确"))) << failure.toStdString();
    EXPECT_EQ(scripted().of(Interaction::Input).size(), 1u);
    EXPECT_EQ(readBytes(file), before);

    // The right one opens it. An open password that is not set again is kept.
    scripted().inputs.push_back(QStringLiteral("739"));
    {
        WordDocument* doc = app->openDocument(file, false);
        doc->setWritePassword(QStringLiteral("5917"));
        doc->save();
        doc->close();
    }
    Protection kept = inspect(file, QStringLiteral("739"), QStringLiteral("5917"));
    EXPECT_TRUE(kept.decrypts);
    EXPECT_EQ(kept.writeProtection, QStringLiteral("match"));

    // DocumentOpen comes while the open is in progress.
    scripted().inputs.push_back(QStringLiteral("739"));
    WordDocument* seen = nullptr;
    bool returned = false;
    QObject::connect(app.get(), &WordApplication::DocumentOpen, [&](WordDocument* doc) {
        EXPECT_FALSE(returned);
        seen = doc;
        doc->setPassword(QString());
        doc->setWritePassword(QString());
        doc->save();
        doc->close();
    });
    WordDocument* doc = app->openDocument(file, false);
    returned = true;
    EXPECT_EQ(doc, seen);
    ASSERT_TRUE(seen);
    EXPECT_EQ(QFileInfo(seen->fullName()), QFileInfo(file));
    EXPECT_FALSE(inspect(file, QString(), QString()).encrypted);

    // Quit ends the helper and the office it started, and raises Quit.
    const qint64 helper = app->helperProcessId();
    ASSERT_GT(helper, 0);
    // The office is the helper's child.
    QStringList children;
    const QString childrenFile = QStringLiteral("/proc/%1/task/%1/children").arg(helper);
    QFile list(childrenFile);
    if (list.open(QIODevice::ReadOnly))
        children = QString::fromLatin1(list.readAll()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    ASSERT_FALSE(children.isEmpty());

    int quits = 0;
    QObject::connect(app.get(), &WordApplication::Quit, [&] { ++quits; });
    app->quit();
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(app->isRunning());
    for (const QString& child : children)
        EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/proc/") + child)) << "office " << child.toStdString();
    EXPECT_THROW(app->openDocument(QStringLiteral("/nonexistent.doc"), false), WordError);
    EXPECT_THROW(app->quit(), WordError);
    EXPECT_EQ(quits, 1);
}

TEST(WordEngine, FailuresLeaveTheFilesAsTheyWere)
{
    TempDir dir;
    const QString text = dir.write(QStringLiteral("notes.txt"), QByteArray("just text\n"));
    QByteArray junk(4096, '\0');
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = char((i * 7919) >> 3);
    const QString garbage = dir.write(QStringLiteral("broken.doc"), junk);
    const QString readOnly = copyWordFixture(dir, QStringLiteral("word_sample.docx"), QStringLiteral("ro.docx"));
    setReadOnly(readOnly, true);
    const QString shared = copyWordFixture(dir, QStringLiteral("word_sample.doc"), QStringLiteral("shared.doc"));
    QFile::setPermissions(shared, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    const QString linked = copyWordFixture(dir, QStringLiteral("word_sample.docx"), QStringLiteral("linked.docx"));
    const QString secondName = dir.file(QStringLiteral("second name.docx"));
    ASSERT_EQ(::link(QFile::encodeName(linked).constData(), QFile::encodeName(secondName).constData()), 0);
    const QByteArray linkedBefore = readBytes(linked);
    auto app = startWord();
    ASSERT_TRUE(app);

    QString failure = protect(*app, text, QStringLiteral("739"), QStringLiteral("5917"));
    EXPECT_FALSE(failure.isEmpty());
    EXPECT_EQ(readBytes(text), QByteArray("just text\n"));

    failure = protect(*app, garbage, QStringLiteral("739"), QStringLiteral("5917"));
    EXPECT_FALSE(failure.isEmpty());
    EXPECT_EQ(readBytes(garbage), junk);

    const QByteArray roBefore = readBytes(readOnly);
    failure = protect(*app, readOnly, QStringLiteral("739"), QStringLiteral("5917"));
    EXPECT_TRUE(failure.contains(QStringLiteral("只读"))) << failure.toStdString();
    EXPECT_EQ(readBytes(readOnly), roBefore);

    failure = protect(*app, dir.file(QStringLiteral("missing.docx")), QStringLiteral("739"), QString());
    EXPECT_FALSE(failure.isEmpty());

    // Two names for one document: saving would replace one name and leave
    // the other unprotected, so it is refused and both stay as they were.
    for (const QString& name : {linked, secondName}) {
        failure = protect(*app, name, QStringLiteral("739"), QStringLiteral("5917"));
        EXPECT_TRUE(failure.contains(QStringLiteral("硬链接"))) << failure.toStdString();
        EXPECT_EQ(readBytes(name), linkedBefore);
    }
    struct stat st{};
    ASSERT_EQ(::stat(QFile::encodeName(linked).constData(), &st), 0);
    EXPECT_EQ(st.st_nlink, 2u);

    // A saved document keeps its permissions.
    ASSERT_EQ(protect(*app, shared, QStringLiteral("739"), QString()), QString());
    EXPECT_EQ(QFile::permissions(shared) & 0x7777,
              (QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup));

    // A helper killed outright takes its office with it; the instance then
    // reports the engine gone and raises Quit.
    const qint64 helper = app->helperProcessId();
    QFile list(QStringLiteral("/proc/%1/task/%1/children").arg(helper));
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    const QStringList offices = QString::fromLatin1(list.readAll()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    ASSERT_FALSE(offices.isEmpty());
    ::kill(pid_t(helper), SIGKILL);
    int quits = 0;
    QObject::connect(app.get(), &WordApplication::Quit, [&] { ++quits; });
    EXPECT_THROW(app->openDocument(shared, false), WordError);
    EXPECT_EQ(quits, 1);
    for (const QString& office : offices) {
        QDeadlineTimer gone(10000);
        while (QFileInfo::exists(QStringLiteral("/proc/") + office) && !gone.hasExpired())
            QThread::msleep(50);
        // A zombie has no command line any more.
        EXPECT_TRUE(readBytes(QStringLiteral("/proc/%1/cmdline").arg(office)).isEmpty()) << office.toStdString();
    }

    QStringList expected{QStringLiteral("broken.doc"), QStringLiteral("linked.docx"), QStringLiteral("notes.txt"),
                         QStringLiteral("ro.docx"), QStringLiteral("second name.docx"), QStringLiteral("shared.doc")};
    QStringList files = leftovers(dir);
    files.sort();
    EXPECT_EQ(files, expected);
}

TEST(WordEngine, ANewerVersionSavedAfterTheLoadIsNeverReplaced)
{
    TempDir dir;
    const QString edited = copyWordFixture(dir, QStringLiteral("word_sample.docx"), QStringLiteral("edited.docx"));
    const QString swapped = copyWordFixture(dir, QStringLiteral("word_sample.docx"), QStringLiteral("swapped.docx"));
    auto app = startWord();
    ASSERT_TRUE(app);

    // Saved over in place by an editor: other contents, another size.
    WordDocument* doc = app->openDocument(edited, false);
    const QByteArray newer = readBytes(QStringLiteral(KESTRUNE_TEST_DATA "/documents/word_restricted.docx"));
    ASSERT_NE(newer.size(), readBytes(edited).size());
    dir.write(QStringLiteral("edited.docx"), newer);
    doc->setPassword(QStringLiteral("739"));
    doc->setWritePassword(QString());
    try {
        doc->save();
        ADD_FAILURE() << "the newer version was replaced";
    } catch (const WordError& e) {
        EXPECT_TRUE(e.description().contains(QStringLiteral("已被其他程序修改"))) << e.description().toStdString();
    }
    doc->close();
    EXPECT_EQ(readBytes(edited), newer);

    // Replaced by a sync client's rename: same size and time, another file.
    doc = app->openDocument(swapped, false);
    const QString incoming = dir.file(QStringLiteral("incoming"));
    ASSERT_TRUE(QFile::copy(swapped, incoming));
    struct stat st{};
    ASSERT_EQ(::stat(QFile::encodeName(swapped).constData(), &st), 0);
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(incoming).constData(), times, 0), 0);
    ASSERT_EQ(::rename(QFile::encodeName(incoming).constData(), QFile::encodeName(swapped).constData()), 0);
    doc->setPassword(QStringLiteral("739"));
    doc->setWritePassword(QString());
    EXPECT_THROW(doc->save(), WordError);
    doc->close();
    EXPECT_FALSE(inspect(swapped, QString(), QString()).encrypted);
    EXPECT_EQ(leftovers(dir), (QStringList{QStringLiteral("edited.docx"), QStringLiteral("swapped.docx")}));
}

TEST(WordEngine, AnEditingRestrictionIsNotAModifyPassword)
{
    // word_restricted.docx is word_sample.docx with Word's read-only editing
    // restriction, <w:documentProtection w:edit="readOnly" w:enforcement="1"/>,
    // added to word/settings.xml.
    TempDir dir;
    const QString file = copyWordFixture(dir, QStringLiteral("word_restricted.docx"), QStringLiteral("restricted.docx"));
    auto app = startWord();
    ASSERT_TRUE(app);

    // Only an open password.
    ASSERT_EQ(protect(*app, file, QStringLiteral("739"), QString()), QString());
    Protection p = inspect(file, QStringLiteral("739"), QString());
    EXPECT_TRUE(p.decrypts);
    EXPECT_EQ(p.writeProtection, QStringLiteral("none"));
    EXPECT_TRUE(p.editingRestriction);

    // Both removed: the restriction is the document's own and stays.
    scripted().inputs.push_back(QStringLiteral("739"));
    ASSERT_EQ(protect(*app, file, QString(), QString()), QString());
    p = inspect(file, QString(), QString());
    EXPECT_FALSE(p.encrypted);
    EXPECT_EQ(p.writeProtection, QStringLiteral("none"));
    EXPECT_TRUE(p.editingRestriction);

    // A real modify password is still told apart: set, then removed.
    ASSERT_EQ(protect(*app, file, QString(), QStringLiteral("5917")), QString());
    EXPECT_EQ(inspect(file, QString(), QStringLiteral("5917")).writeProtection, QStringLiteral("match"));
    ASSERT_EQ(protect(*app, file, QString(), QString()), QString());
    EXPECT_EQ(inspect(file, QString(), QString()).writeProtection, QStringLiteral("none"));
}

TEST(WordEngine, ReasonsAreTheUsersNotTheOfficesInternals)
{
    TempDir dir;
    const QString doc = copyWordFixture(dir, QStringLiteral("word_sample.doc"), QStringLiteral("old.doc"));
    QByteArray broken("PK\x03\x04", 4);
    for (int i = 0; i < 3000; ++i)
        broken.append(char((i * 7919) >> 3));
    const QString package = dir.write(QStringLiteral("broken.docx"), broken);
    auto app = startWord();
    ASSERT_TRUE(app);
    ASSERT_EQ(protect(*app, doc, QStringLiteral("739"), QString()), QString());

    // A .doc given a wrong password says so, as a .docx does.
    scripted().inputs.push_back(QStringLiteral("738"));
    EXPECT_EQ(protect(*app, doc, QString(), QString()), QStringLiteral("打开密码不正确"));
    EXPECT_TRUE(inspect(doc, QStringLiteral("739"), QString()).decrypts);

    // A broken package: no source locations, codes or function names.
    const QString failure = protect(*app, package, QStringLiteral("739"), QString());
    EXPECT_TRUE(failure.contains(QStringLiteral("已损坏"))) << failure.toStdString();
    for (const char* internal : {".cxx", " at ", "::", "0x"})
        EXPECT_FALSE(failure.contains(QLatin1String(internal))) << failure.toStdString();
    EXPECT_EQ(readBytes(package), broken);
}

TEST(WordEngine, AnOfficeThatDiesOnADocumentFailsThatDocumentOnly)
{
    TempDir dir;
    const QString crash = copyWordFixture(dir, QStringLiteral("word_sample.docx"), QStringLiteral("crash-here.docx"));
    const QString after = copyWordFixture(dir, QStringLiteral("word_sample.docx"), QStringLiteral("after.docx"));
    const QByteArray before = readBytes(crash);
    // The helper kills its office while it loads a document so named.
    qputenv("KESTRUNE_WORD_TEST_KILL_OFFICE_ON", "crash-here");
    auto app = startWord();
    qunsetenv("KESTRUNE_WORD_TEST_KILL_OFFICE_ON");
    ASSERT_TRUE(app);

    const QString failure = protect(*app, crash, QStringLiteral("739"), QString());
    EXPECT_TRUE(failure.contains(QStringLiteral("意外退出"))) << failure.toStdString();
    EXPECT_EQ(readBytes(crash), before);
    // The helper is still there, and a new office does the next document.
    EXPECT_TRUE(app->isRunning());
    ASSERT_EQ(protect(*app, after, QStringLiteral("739"), QString()), QString());
    EXPECT_TRUE(inspect(after, QStringLiteral("739"), QString()).decrypts);
    EXPECT_FALSE(protect(*app, crash, QStringLiteral("739"), QString()).isEmpty());
    EXPECT_TRUE(app->isRunning());
}

TEST(WordEngine, ANameThatIsNotUtf8IsReachedByItsExactBytes)
{
    // 帮助/你好.docx and 帮助/a.docx in GBK, as old Chinese archives leave them.
    TempDir dir;
    ASSERT_EQ(::mkdir((QFile::encodeName(dir.path()) + "/\xB0\xEF\xD6\xFA").constData(), 0755), 0);
    const QByteArray sample = readBytes(QStringLiteral(KESTRUNE_TEST_DATA "/documents/word_sample.docx"));
    const QString gbk = writeRawName(dir, "\xB0\xEF\xD6\xFA/\xC4\xE3\xBA\xC3.docx", sample);
    const QString inGbkFolder = writeRawName(dir, "\xB0\xEF\xD6\xFA/a.docx", sample);
    auto app = startWord();
    ASSERT_TRUE(app);

    for (const QString& file : {gbk, inGbkFolder})
        ASSERT_EQ(protect(*app, file, QStringLiteral("739"), QString()), QString()) << displayFileName(file).toStdString();
    // The prompt for the current password names it readably.
    scripted().inputs.push_back(QStringLiteral("739"));
    ASSERT_EQ(protect(*app, gbk, QStringLiteral("新"), QString()), QString());
    const auto inputs = scripted().of(Interaction::Input);
    ASSERT_EQ(inputs.size(), 1u);
    EXPECT_TRUE(inputs[0].text.contains(QStringLiteral("帮助/你好.docx"))) << inputs[0].text.toStdString();

    // Read by their bytes: nothing else was written beside them.
    const QByteArray folder = QFile::encodeName(dir.path()) + "/\xB0\xEF\xD6\xFA/";
    ASSERT_EQ(::rename((folder + "\xC4\xE3\xBA\xC3.docx").constData(), QFile::encodeName(dir.file("1.docx")).constData()), 0);
    ASSERT_EQ(::rename((folder + "a.docx").constData(), QFile::encodeName(dir.file("2.docx")).constData()), 0);
    EXPECT_TRUE(inspect(dir.file(QStringLiteral("1.docx")), QStringLiteral("新"), QString()).decrypts);
    EXPECT_TRUE(inspect(dir.file(QStringLiteral("2.docx")), QStringLiteral("739"), QString()).decrypts);
    EXPECT_EQ(::rmdir(folder.constData()), 0) << "left behind in the folder";
}
