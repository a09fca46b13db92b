#include "core/about/tips.h"

#include "core/fs/fso.h"
#include "core/system/platform.h"
#include "core/fs/programfolder.h"
#include "core/system/textcodec.h"

#include "core/fs/fsnames.h"

#include <algorithm>
#include <cerrno>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrune {

QStringList TipList;
qint32 TipIndex = 0;

namespace {
const QString kTipsFileName = QStringLiteral("readme.txt");
const QString kOptionsSection = QStringLiteral("Options");
const QString kShowAtStartupKey = QStringLiteral("在启动时显示提示");
}  // namespace

void resetTips()
{
    TipList.clear();
    TipIndex = 0;
}

QString tipsFilePath()
{
    return dataFileToRead(kTipsFileName);
}

const QStringList& builtInTips()
{
    static const QStringList tips = {
        QStringLiteral("Kestrune有多种非常实用的功能，欢迎各位免费试用并提出宝贵意见！"),
        QStringLiteral("1.尽量作到操作人性化,让使用者感到意想不到的方便快捷。"),
        QStringLiteral("2.能够批量反编译chm文件,并自动生成hhp文件,hhp文件可直接在Microsoft HTML Help "
                       "Workshop下重新编译生成chm文件!"),
        QStringLiteral("3.Kestrune能够批量加密Word文档,包括批量设置打开密码和修改密码,同时支持批量解密功能!"),
        QStringLiteral("4.Kestrune能够批量加密AutoCAD文档,同时支持批量解密功能!"),
        QStringLiteral("5.在您进行庞大的VB项目,拥有无数的VB工程时,Kestrune能帮助您轻松批量编译VB工程!"),
        QStringLiteral("6.Kestrune能帮助您轻松注册大量Dll或Ocx文件!"),
        QStringLiteral("7.可以复制,移动,删除大量的指定类型文件，并有丰富的过滤选项!"),
        QStringLiteral("8.记录文件信息,Kestrune支持整文件夹记录,并有详细的日志功能!记录文件信息用处在于当您使用"
                       "emule,poco等P2P软件下载文件(特别是影音文件)时,由于网友可随意对自已共享的文件重命名,"
                       "故常常会下载到一些其实内容一样的文件,如果你利用Kestrune比较文件大小再决定是否下载,"
                       "就可显著减少重复下载,节省时间和网络带宽!"),
        QStringLiteral("9.Kestrune无需安装AutoCAD即可快速查看DWG文档,支持缩放等多种查看方式,并能另存为普通图片格式!"),
        QStringLiteral("10.Kestrune执行的操作大部分是批量操作，且能自动处理子文件夹中的文件，让您做到滴水不漏!"),
    };
    return tips;
}

QStringList splitTipLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            lines << text.mid(start, i - start);
            if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            start = i + 1;
        }
        ++i;
    }
    if (start < n)
        lines << text.mid(start);
    return lines;
}

QString shortenedTip(const QString& tip)
{
    if (tip.size() <= kLongestTip)
        return tip;
    qsizetype keep = kLongestTip;
    if (tip.at(keep - 1).isHighSurrogate())
        --keep;
    return tip.left(keep) + QChar(0x2026);
}

QByteArray tipsFileStart(const QByteArray& bytes, qint64 limit, int maxLines)
{
    // CR and LF are never part of a longer character in UTF-8 or GB18030.
    const qsizetype n = std::min<qsizetype>(bytes.size(), limit);
    const char* data = bytes.constData();
    qsizetype lineEnd = -1;  // the last line end within the limit
    int lines = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (data[i] != '\n' && data[i] != '\r')
            continue;
        if (data[i] == '\r' && i + 1 < bytes.size() && data[i + 1] == '\n') {
            if (i + 1 >= n)
                break;  // the pair does not fit
            ++i;
        }
        lineEnd = i;
        if (++lines >= maxLines)
            return bytes.left(lineEnd + 1);
    }
    if (bytes.size() <= limit)
        return bytes;
    const QByteArray start = bytes.left(limit);
    if (lineEnd >= 0)
        return start.left(lineEnd + 1);
    // One line longer than the limit (it is shortened anyway): drop a UTF-8
    // character cut in half, so the text still reads as UTF-8.
    qsizetype end = start.size();
    qsizetype lead = end - 1;
    while (lead > 0 && end - lead < 4 && (uchar(start.at(lead)) & 0xC0) == 0x80)
        --lead;
    const uchar first = uchar(start.at(lead));
    const int length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
    if (first >= 0xC0 && end - lead < length)
        end = lead;
    return start.left(end);
}

namespace {

// The start of a tips file (see tipsFileStart), read without waiting: only a
// plain file is read.
std::optional<QByteArray> readTipsBytes(const QString& path, QString* error)
{
    const int fd = ::open(encodeFileName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = describeError(errno);
        return std::nullopt;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = S_ISDIR(st.st_mode) ? QStringLiteral("这是一个文件夹") : QStringLiteral("不是普通文件");
        ::close(fd);
        return std::nullopt;
    }
    // One byte more than the limit tells whether the file goes on.
    QByteArray bytes(kTipsFileReadLimit + 1, Qt::Uninitialized);
    qsizetype got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error = describeError(errno);
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        got += n;
    }
    ::close(fd);
    bytes.truncate(got);
    return tipsFileStart(bytes, kTipsFileReadLimit);
}

}  // namespace

TipsFileContent readTipsFile(const QString& path)
{
    TipsFileContent content;
    if (path.isEmpty() || !FileSystemObject().FileExists(path))
        return content;
    QString error;
    const std::optional<QByteArray> bytes = readTipsBytes(path, &error);
    if (!bytes) {
        content.status = TipsFileContent::Unreadable;
        content.error = error;
        return content;
    }
    const QString text = decodeProgramText(*bytes);
    if (text.isEmpty()) {
        content.status = TipsFileContent::Empty;
        return content;
    }
    content.status = TipsFileContent::Read;
    content.lines = splitTipLines(text);
    for (QString& line : content.lines)
        line = shortenedTip(line);
    return content;
}

void writeBuiltInTips(const QString& path)
{
    TextStream out = FileSystemObject().CreateDataTextFile(path);
    for (const QString& tip : builtInTips())
        out.WriteLine(tip);
    out.Close();
}

void advanceTipIndex()
{
    ++TipIndex;
    if (TipIndex > TipList.size() || TipIndex < 1)
        TipIndex = 1;
}

bool currentTip(QString* tip)
{
    if (TipList.isEmpty() || TipIndex < 1 || TipIndex > TipList.size())
        return false;
    *tip = TipList.at(TipIndex - 1);
    return true;
}

bool showTipsAtStartup()
{
    const QString value =
        platform().getSetting(settingsAppName(), kOptionsSection, kShowAtStartupKey, QStringLiteral("1"));
    // The value is taken as a number; text that is no number keeps the
    // window at start-up rather than hiding it for good.
    bool ok = false;
    const double number = value.trimmed().toDouble(&ok);
    return !(ok && number == 0.0);
}

void saveShowTipsAtStartup(bool show)
{
    platform().saveSetting(settingsAppName(), kOptionsSection, kShowAtStartupKey,
                           show ? QStringLiteral("1") : QStringLiteral("0"));
}

}  // namespace kestrune
