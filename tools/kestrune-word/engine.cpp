#include "engine.h"

#include "document.h"
#include "unotext.h"

#include "core/fs/fsnames.h"

#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/document/BrokenPackageRequest.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/task/DocumentMSPasswordRequest.hpp>
#include <com/sun/star/task/DocumentMSPasswordRequest2.hpp>
#include <com/sun/star/task/DocumentPasswordRequest.hpp>
#include <com/sun/star/task/DocumentPasswordRequest2.hpp>
#include <com/sun/star/task/XInteractionAbort.hpp>
#include <com/sun/star/task/XInteractionHandler.hpp>
#include <com/sun/star/task/XInteractionPassword.hpp>
#include <com/sun/star/task/XInteractionRequest.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/io/XInputStream.hpp>
#include <com/sun/star/packages/zip/ZipFileAccess.hpp>
#include <cppuhelper/implbase1.hxx>
#include <rtl/ref.hxx>

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QUrl>
#include <QXmlStreamReader>

#include <QRegularExpression>

#include <climits>
#include <memory>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

using namespace css;
using kestrune::currentFolderPath;
using kestrune::decodeFileName;
using kestrune::displayFileName;
using kestrune::encodeFileName;

namespace kw {

DocKind kindOfFilter(const QString& filter)
{
    if (filter == QLatin1String("MS Word 97") || filter == QLatin1String("MS Word 97 Vorlage"))
        return DocKind::Doc;
    if (filter == QLatin1String("MS Word 2007 XML") || filter == QLatin1String("Office Open XML Text") ||
        filter == QLatin1String("MS Word 2007 XML Template"))
        return DocKind::Docx;
    return DocKind::Other;
}

QString saveFilter(const QString& loadedFilter)
{
    // Templates stay templates; documents are written in the form Word reads.
    if (loadedFilter == QLatin1String("MS Word 97 Vorlage") || loadedFilter == QLatin1String("MS Word 2007 XML Template"))
        return loadedFilter;
    return kindOfFilter(loadedFilter) == DocKind::Doc ? QStringLiteral("MS Word 97") : QStringLiteral("MS Word 2007 XML");
}

QByteArray writeProtectionHash(const QString& password, const QByteArray& salt, int spinCount)
{
    QByteArray bytes = salt;
    for (const QChar c : password) {
        bytes.append(char(c.unicode() & 0xff));
        bytes.append(char(c.unicode() >> 8));
    }
    QByteArray hash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha512);
    for (quint32 i = 0; i < quint32(spinCount); ++i) {
        const char counter[4] = {char(i & 0xff), char((i >> 8) & 0xff), char((i >> 16) & 0xff), char(i >> 24)};
        hash.append(counter, 4);
        hash = QCryptographicHash::hash(hash, QCryptographicHash::Sha512);
    }
    return hash.toBase64();
}

namespace {

// A document with more than one name (hard links) cannot be re-protected:
// the saved file takes the place of one name only, and the other names keep
// the old, unprotected contents. "" when the file has one name.
bool sameTime(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

QString hardLinkProblem(const struct stat& st)
{
    if (st.st_nlink <= 1)
        return {};
    return QStringLiteral("文件有 %1 个硬链接名称,保存只能替换其中一个,其余名称仍是原来的内容;文件未改动")
        .arg(qulonglong(st.st_nlink));
}

}  // namespace

Engine::~Engine()
{
    closeAll();
    clearAliases();
}

QString Engine::changedSinceLoaded(const Doc& doc, const struct stat& now)
{
    const Identity& was = doc.identity;
    if (now.st_dev == was.device && now.st_ino == was.inode && now.st_size == was.size &&
        sameTime(now.st_mtim, was.modified))
        return {};
    return QStringLiteral("文件在打开后已被其他程序修改或替换,为免覆盖新的内容未保存,文件保持现在的样子");
}

QString officeReason(const QString& message)
{
    // "... at ./sfx2/source/doc/sfxbasemodel.cxx:1783": where in the office
    // the error was raised, nothing the user can act on.
    static const QRegularExpression location(QStringLiteral("\\s*\\bat\\s+\\S+\\.(?:cxx|cpp|hxx|hpp|h|c):\\d+"));
    QString text = message;
    text.remove(location);
    text = text.trimmed();
    // "0x507(Error Area:Io Class:Access Code:7)": the office's error code.
    static const QRegularExpression errorClass(QStringLiteral("Class:(\\w+)"));
    const QRegularExpressionMatch m = errorClass.match(text);
    if (m.hasMatch()) {
        const QString c = m.captured(1);
        if (c == QLatin1String("Access") || c == QLatin1String("Locked") || c == QLatin1String("Write"))
            return QStringLiteral("无法访问文件");
        if (c == QLatin1String("NotExists") || c == QLatin1String("Path"))
            return QStringLiteral("文件不存在");
        if (c == QLatin1String("Format") || c == QLatin1String("Read") || c == QLatin1String("Wrongformat"))
            return QStringLiteral("文件已损坏或格式无法识别");
        return {};
    }
    // Names of the office's functions, types and URLs are its internals too.
    if (text.contains(QLatin1String("::")) || text.contains(QLatin1String("com.sun.star")) ||
        text.contains(QLatin1String("file:/")))
        return {};
    return text;
}

namespace {

QString cannotOpen(const QString& officeMessage)
{
    const QString reason = officeReason(officeMessage);
    return reason.isEmpty() ? QStringLiteral("LibreOffice 无法打开此文件")
                            : QStringLiteral("LibreOffice 无法打开此文件(%1)").arg(reason);
}

}  // namespace

bool Engine::officeDied()
{
    if (office_.running())
        return false;
    // Its documents died with it: nothing to close.
    for (auto& [id, doc] : docs_)
        doc.component.clear();
    docs_.clear();
    return true;
}

QString Engine::needOffice()
{
    if (!officeDied())
        return {};
    QString error;
    if (!office_.restart(&error))
        return QStringLiteral("LibreOffice 已退出,无法重新启动(%1)").arg(error);
    debug(QStringLiteral("office started again"));
    return {};
}

int Engine::open(const QString& file, const PasswordPrompt& prompt, QString* error)
{
    const QByteArray path = absoluteBytes(file);
    struct stat st{};
    if (::stat(path.constData(), &st) != 0) {
        *error = QStringLiteral("文件不存在");
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = QStringLiteral("不是文件");
        return -1;
    }
    if (::access(path.constData(), R_OK) != 0) {
        *error = QStringLiteral("文件不能读取");
        return -1;
    }
    if (!hardLinkProblem(st).isEmpty()) {
        *error = hardLinkProblem(st);
        return -1;
    }
    // Saved where the document really is: a link given in its place stays a
    // link to the re-protected document.
    char* real = ::realpath(path.constData(), nullptr);
    if (!real) {
        *error = QStringLiteral("文件不存在");
        return -1;
    }
    const QString canonical = decodeFileName(real);
    std::free(real);
    if (const QString problem = needOffice(); !problem.isEmpty()) {
        *error = problem;
        return -1;
    }

    rtl::Reference<Handler> handler(new Handler);
    QString given;
    handler->askOpen = [&]() -> std::optional<QString> {
        if (!prompt)
            return std::nullopt;
        auto answer = prompt(file);
        if (answer)
            given = *answer;
        return answer;
    };
    LoadResult loaded = load(office_, canonical, handler.get(), true, std::nullopt);
    QString filter;
    bool notText = false;
    try {
        guarded(office_, [&] {
            if (loaded.component.is() && !isWriterDocument(loaded.component)) {
                closeComponent(loaded.component);
                notText = true;
            } else if (loaded.component.is()) {
                filter = filterOf(loaded.component);
            }
        });
    } catch (const uno::Exception& e) {
        loaded.component.clear();
        loaded.error = toQ(e.Message);
    }
    if (officeDied()) {
        // The office crashed on this document; the next one gets a new office.
        *error = QStringLiteral("LibreOffice 打开此文件时意外退出(文件可能已损坏),文件未改动");
        return -1;
    }
    if (notText) {
        *error = QStringLiteral("不是文字处理文档");
        return -1;
    }
    if (!loaded.component.is()) {
        if (handler->wrong)
            *error = QStringLiteral("打开密码不正确");
        else if (handler->cancelled)
            *error = prompt ? QStringLiteral("文档有打开密码,没有输入密码") : QStringLiteral("文档有打开密码");
        else if (!handler->other.isEmpty())
            *error = cannotOpen(handler->other);
        else if (handler->askedOpen)
            // A password was given and still the document did not open (the
            // Word 97-2003 filter does not ask again for a wrong one).
            *error = QStringLiteral("打开密码不正确");
        else
            *error = cannotOpen(loaded.error);
        return -1;
    }
    const int id = nextId_++;
    Identity identity;
    identity.device = st.st_dev;
    identity.inode = st.st_ino;
    identity.size = st.st_size;
    identity.modified = st.st_mtim;
    docs_[id] = Doc{loaded.component, canonical, filter, handler->askedOpen ? given : QString(), identity};
    debug(QStringLiteral("opened %1 as %2 (%3)").arg(displayFileName(file)).arg(id).arg(filter));
    return id;
}

Engine::Probe Engine::probe(const QString& file, const std::optional<QString>& openPassword, bool readOnly)
{
    Probe result;
    rtl::Reference<Handler> handler(new Handler);
    handler->askOpen = [&]() { return openPassword; };
    LoadResult loaded = load(office_, file, handler.get(), readOnly, std::nullopt);
    result.loaded = loaded.component.is();
    result.askedOpenPassword = handler->askedOpen;
    result.wrongPassword = handler->wrong;
    result.askedModifyPassword = handler->askedModify;
    result.problem = officeReason(!handler->other.isEmpty() ? handler->other : loaded.error);
    if (result.loaded) {
        try {
            guarded(office_, [&] {
                result.filter = filterOf(loaded.component);
                uno::Reference<frame::XStorable> storable(loaded.component, uno::UNO_QUERY);
                result.editable = storable.is() && !storable->isReadonly();
                result.modifyPasswordInfo = hasModifyPasswordInfo(loaded.component);
            });
            debug(QStringLiteral("probe editable=%1 modifyPasswordInfo=%2").arg(result.editable).arg(result.modifyPasswordInfo));
        } catch (const uno::Exception& e) {
            result.loaded = false;
            result.problem = officeReason(toQ(e.Message));
        }
        closeComponent(loaded.component);
    }
    return result;
}

QString Engine::verify(const QString& file, DocKind kind, const QString& openPassword, const QString& modifyPassword)
{
    const bool wantModify = kind == DocKind::Docx && !modifyPassword.isEmpty();
    // One opening for editing, the password given only when the office asks
    // for it: it must ask exactly when an open password was set, accept that
    // password, and open it read-only exactly when a modify password was set.
    const Probe opened =
        probe(file, openPassword.isEmpty() ? std::nullopt : std::optional<QString>(openPassword), false);
    if (opened.askedOpenPassword != !openPassword.isEmpty())
        return openPassword.isEmpty() ? QStringLiteral("保存后的文件仍有打开密码")
                                      : QStringLiteral("保存后的文件没有打开密码");
    if (!opened.loaded)
    {
        const QString why = opened.wrongPassword ? QStringLiteral("密码不被接受") : opened.problem;
        return why.isEmpty() ? QStringLiteral("保存后的文件无法重新打开")
                             : QStringLiteral("保存后的文件无法重新打开(%1)").arg(why);
    }
    // A document with a modify password opens read-only until it is given,
    // and carries the password's hash. An editing restriction (Word's
    // read-only protection) also makes it open read-only, but it is not a
    // modify password: the hash tells them apart.
    if (opened.modifyPasswordInfo != wantModify || (wantModify && opened.editable))
        return wantModify ? QStringLiteral("保存后的文件没有写密码") : QStringLiteral("保存后的文件仍有写密码");
    if (wantModify) {
        // The stored protection must be the one for this password. (An
        // encrypted package cannot be read this way; the office opening it
        // read-only above stands for it then.)
        if (openPassword.isEmpty()) {
            const WriteProtection wp = readWriteProtection(office_, file);
            bool spinOk = false;
            const int spin = wp.spinCount.toInt(&spinOk);
            if (!wp.present || wp.algorithmSid != QLatin1String("14") || !spinOk ||
                writeProtectionHash(modifyPassword, QByteArray::fromBase64(wp.salt.toLatin1()), spin) !=
                    wp.hash.toLatin1())
                return QStringLiteral("保存后的文件中的写密码与所设的不一致");
        }
    }
    return {};
}

QString Engine::save(int id, const std::optional<QString>& openPassword, const std::optional<QString>& modifyPassword,
                     bool* saved)
{
    *saved = false;
    auto it = docs_.find(id);
    if (it == docs_.end())
        return QStringLiteral("文档没有打开");
    Doc& doc = it->second;
    const DocKind kind = kindOfFilter(doc.filter);
    if (kind == DocKind::Other)
        return QStringLiteral("此文件的格式(%1)不能带密码,文件未改动")
            .arg(doc.filter.isEmpty() ? QStringLiteral("未知") : doc.filter);

    const QByteArray path = encodeFileName(doc.file);
    struct stat st{};
    if (::stat(path.constData(), &st) != 0)
        return QStringLiteral("文件已不存在,未保存");
    if (const QString changed = changedSinceLoaded(doc, st); !changed.isEmpty())
        return changed;
    if (!(st.st_mode & S_IWUSR) || ::access(path.constData(), W_OK) != 0)
        return QStringLiteral("文件是只读的,未保存");
    if (const QString problem = hardLinkProblem(st); !problem.isEmpty())
        return problem;

    const QString newOpen = openPassword ? *openPassword : doc.openPassword;
    // A modify password that is not given is not kept by a store: the
    // caller always says what the document should end up with.
    const QString newModify = modifyPassword ? *modifyPassword : QString();
    const bool modifyUnsupported = kind == DocKind::Doc && !newModify.isEmpty();

    // The temporary file beside the document, named in plain characters
    // with the document's own extension (the folder keeps its exact bytes).
    const QByteArray base = baseName(path);
    const qsizetype dot = base.lastIndexOf('.');
    const QByteArray suffix = dot > 0 ? base.mid(dot) : QByteArray();
    QByteArray tempPath = path.left(path.size() - base.size()) + ".~kestrune-XXXXXX" + suffix;
    const int fd = ::mkstemps(tempPath.data(), int(suffix.size()));
    if (fd < 0)
        return QStringLiteral("无法在文件所在的文件夹中建立临时文件,未保存");
    ::close(fd);
    const QString tempName = decodeFileName(tempPath);
    auto discard = [&](const QString& reason) {
        ::unlink(tempPath.constData());
        return reason;
    };

    uno::Sequence<beans::PropertyValue> args;
    auto add = [&](const beans::PropertyValue& p) {
        args.realloc(args.getLength() + 1);
        args.getArray()[args.getLength() - 1] = p;
    };
    add(prop("Overwrite", uno::Any(true)));
    if (kind == DocKind::Doc) {
        add(prop("FilterName", uno::Any(toOU(saveFilter(doc.filter)))));
        if (!newOpen.isEmpty())
            add(prop("Password", uno::Any(toOU(newOpen))));
        add(prop("ModifyPasswordInfo", uno::Any(uno::Sequence<beans::PropertyValue>())));
    } else {
        add(prop("FilterName", uno::Any(toOU(saveFilter(doc.filter)))));
        if (!newOpen.isEmpty()) {
            auto encryption = seq<beans::NamedValue>({
                beans::NamedValue("OOXPassword", uno::Any(toOU(newOpen))),
                beans::NamedValue("CryptoType", uno::Any(OUString("Standard"))),
            });
            add(prop("EncryptionData", uno::Any(encryption)));
        }
        uno::Sequence<beans::PropertyValue> modifyInfo;
        if (!newModify.isEmpty()) {
            QByteArray salt(16, '\0');
            for (auto& b : salt)
                b = char(QRandomGenerator::system()->generate() & 0xff);
            const int spinCount = 100000;
            modifyInfo = seq<beans::PropertyValue>({
                prop("algorithm-name", uno::Any(OUString("SHA-512"))),
                prop("salt", uno::Any(toOU(QString::fromLatin1(salt.toBase64())))),
                prop("iteration-count", uno::Any(sal_Int32(spinCount))),
                prop("hash", uno::Any(toOU(QString::fromLatin1(writeProtectionHash(newModify, salt, spinCount))))),
            });
        }
        add(prop("ModifyPasswordInfo", uno::Any(modifyInfo)));
    }

    const QString died = QStringLiteral("LibreOffice 保存此文件时意外退出,原文件未改动");
    try {
        guarded(office_, [&] {
            uno::Reference<frame::XStorable> storable(doc.component, uno::UNO_QUERY_THROW);
            storable->storeToURL(fileUrl(tempName), args);
        });
    } catch (const uno::Exception& e) {
        debug(QStringLiteral("store failed: %1").arg(toQ(e.Message)));
        if (officeDied())
            return discard(died);
        const QString reason = officeReason(toQ(e.Message));
        return discard(reason.isEmpty() ? QStringLiteral("保存失败,原文件未改动")
                                        : QStringLiteral("保存失败(%1),原文件未改动").arg(reason));
    }

    const QString problem = verify(tempName, kind, newOpen, modifyUnsupported ? QString() : newModify);
    if (officeDied())
        return discard(died);
    if (!problem.isEmpty())
        return discard(QStringLiteral("%1,原文件未改动").arg(problem));

    // The new file takes the original's place with the original's
    // permissions and, where allowed, its owner.
    ::chmod(tempPath.constData(), st.st_mode & 07777);
    if (::chown(tempPath.constData(), st.st_uid, st.st_gid) != 0) {
        // Only the owner's own files can be given away; the file stays ours.
    }
    // Checked again: the store and its check took a while.
    struct stat now{};
    if (::stat(path.constData(), &now) != 0)
        return discard(QStringLiteral("文件在保存期间被删除或改名,保存的内容未放回"));
    if (!hardLinkProblem(now).isEmpty())
        return discard(hardLinkProblem(now));
    // Someone else (an editor, a sync client) may have saved a newer
    // version meanwhile: that one stays.
    if (const QString changed = changedSinceLoaded(doc, now); !changed.isEmpty())
        return discard(changed);
    if (::rename(tempPath.constData(), path.constData()) != 0)
        return discard(QStringLiteral("无法替换原文件,原文件未改动"));
    *saved = true;
    doc.openPassword = newOpen;
    debug(QStringLiteral("saved %1").arg(doc.file));
    if (modifyUnsupported)
        return QStringLiteral("已设置读密码;Word 97-2003 文档(.doc)不支持设置写密码,未设置写密码");
    return {};
}

void Engine::close(int id)
{
    auto it = docs_.find(id);
    if (it == docs_.end())
        return;
    closeComponent(it->second.component);
    docs_.erase(it);
}

void Engine::closeAll()
{
    for (auto& [id, doc] : docs_)
        closeComponent(doc.component);
    docs_.clear();
}

}  // namespace kw
