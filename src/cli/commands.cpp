#include "cli/command.h"

namespace kestrune::cli {

// The handlers, each in the file of its family.
int copyCommand(Session& session, const Parsed& options);
int moveCommand(Session& session, const Parsed& options);
int deleteCommand(Session& session, const Parsed& options);
int dupesCommand(Session& session, const Parsed& options);
int sameCommand(Session& session, const Parsed& options);
int recordCommand(Session& session, const Parsed& options);
int queryCommand(Session& session, const Parsed& options);
int logCommand(Session& session, const Parsed& options);
int decompileCommand(Session& session, const Parsed& options);
int registerCommand(Session& session, const Parsed& options);
int compileCommand(Session& session, const Parsed& options);
int wordCommand(Session& session, const Parsed& options);
int dwgCommand(Session& session, const Parsed& options);

// The commands: a new command is one entry here and its handler.
const std::vector<Command>& commands()
{
    static const QStringList fileFlags{QStringLiteral("--no-subfolders"), QStringLiteral("--no-overwrite")};
    static const QStringList fileValues{QStringLiteral("--types"), QStringLiteral("--pattern")};
    static const std::vector<Command> table{
        {"copy", fileFlags, fileValues, {}, 2, 2,
         "copy (--types \"chm;doc\" | --pattern \"*.txt\") [--no-subfolders] [--no-overwrite] SOURCE DESTINATION",
         "复制源目录(及其子文件夹)中所选类型的文件到目标目录,同文件批量管理的\"复制\"。\n"
         "  --types LIST     按扩展名过滤,以分号分隔(\"一次操作多种类型的文件\")\n"
         "  --pattern PAT    按类型过滤,如 \"*.txt\";\"*.*\" 取所有文件\n"
         "  --no-subfolders  不包含子文件夹\n"
         "  --no-overwrite   不覆盖目标中已有的文件\n"
         "标准输出列出每个已复制的源文件。",
         &copyCommand},
        {"move", {QStringLiteral("--no-subfolders")}, fileValues, {}, 2, 2,
         "move (--types LIST | --pattern PAT) [--no-subfolders] SOURCE DESTINATION",
         "移动文件到目标目录(从不替换已有的文件),同文件批量管理的\"移动\"。\n"
         "标准输出列出每个已移动的源文件。",
         &moveCommand},
        {"delete", {QStringLiteral("--no-subfolders"), QStringLiteral("--force"), QStringLiteral("--trash"),
                    QStringLiteral("--no-trash")}, fileValues, {}, 1, 1,
         "delete (--types LIST | --pattern PAT) [--no-subfolders] [--force] [--trash | --no-trash] SOURCE",
         "删除所选类型的文件,同文件批量管理的\"删除\";--force 同\"强制删除\"(也删除只读文件)。\n"
         "主菜单\"删除时移到回收站\"打开时文件移到回收站,否则永久删除;--trash / --no-trash 只为这一次选择。\n"
         "标准输出列出每个已删除的文件。",
         &deleteCommand},
        {"dupes", {QStringLiteral("--delete"), QStringLiteral("--trash"), QStringLiteral("--no-trash")}, {},
         {QStringLiteral("--names"), QStringLiteral("--in")}, 0, 0,
         "dupes [--delete [--trash | --no-trash]] --names FILE_OR_FOLDER... --in FOLDER...",
         "查找被查找的文件夹(及其子文件夹)中与所列文件同名(不分大小写)的文件,同重复文件批量删除的\"开始查找\";\n"
         "按窗口的顺序列出找到的路径,每行一个。--names 的文件夹同\"添加目录到列表\"。\n"
         "  --delete  删除找到的全部文件,同\"删除全部\"(回收站的选择同 delete)",
         &dupesCommand},
        {"same", {QStringLiteral("--delete"), QStringLiteral("--trash"), QStringLiteral("--no-trash")},
         {QStringLiteral("--min-size"), QStringLiteral("--pattern"), QStringLiteral("--keep")}, {}, 1, -1,
         "same [--min-size N] [--pattern PAT] [-0] [--delete [--keep oldest|newest|first] [--trash | --no-trash]] FOLDER...",
         "查找各文件夹(及其子文件夹)中内容相同的文件,同查找内容相同的文件的\"开始查找\"。\n"
         "每组列出其中的文件,每行一个,组后空一行(-0 时每个路径以 NUL 结尾,每组再加一个 NUL);浪费空间最多的组在前。\n"
         "  --min-size N    只比较不小于 N 字节的文件(空文件从不算作相同)\n"
         "  --pattern PAT   只比较名称符合的文件,如 \"*.doc;*.xls\"\n"
         "  --delete        每组保留一个,删除其余(回收站的选择同 delete);删除前逐字节比较,\n"
         "                  查找后改变过的文件不删除并列出\n"
         "  --keep RULE     保留哪一个:oldest 最早修改的(默认),newest 最近修改的,first 最先找到的",
         &sameCommand},
        {"record", {}, {}, {}, 1, 1, "record FOLDER",
         "记录目录中每个文件的名称、类型、大小、日期和短文件名到 db1.mdb,并写一条日志,同文件信息记录的\"记录\"。",
         &recordCommand},
        {"query", {}, {QStringLiteral("--size"), QStringLiteral("--unit"), QStringLiteral("--range")}, {}, 0, 0,
         "query --size N [--unit B|KB|MB] [--range N]",
         "列出已记录的大小在 N±差值 之内的文件名,同\"查询\"。单位默认 MB,差值默认 1。",
         &queryCommand},
        {"log", {QStringLiteral("--clear")}, {}, {}, 0, 0, "log [--clear]",
         "列出运行日志(目录和时间,以制表符分隔);--clear 清空日志,同日志窗口的\"清空\"。",
         &logCommand},
        {"decompile", {QStringLiteral("--no-subfolders"), QStringLiteral("--no-hhp")}, {}, {}, 2, 2,
         "decompile [--no-subfolders] [--no-hhp] SOURCE DESTINATION",
         "反编译源目录(及其子文件夹)中所有chm文件到目标目录,同chm文件批量反编译;\n"
         "--no-hhp 不生成hhp文件。标准输出列出每个已反编译的输出文件夹。",
         &decompileCommand},
        {"register", {}, {}, {}, 1, -1, "register FOLDER_OR_LIBRARY...",
         "用 wine regsvr32 /s 注册文件夹中(不含子文件夹)所有dll和ocx文件,或所列的库文件,同ocx,dll批量注册。",
         &registerCommand},
        {"compile", {}, {QStringLiteral("--compiler")}, {}, 1, -1, "compile [--compiler PATH] PROJECT_OR_FOLDER...",
         "对每个工程启动一次编译器(/MAKE 工程),同批量编译VB6工程;文件夹取其中所有 *vbp 文件。\n"
         "编译器启动后独立运行。标准输出列出每个已启动编译的工程。",
         &compileCommand},
        {"word", {}, {QStringLiteral("--passwords-from")}, {}, 1, -1,
         "word [--passwords-from FILE] DOCUMENT_OR_FOLDER...",
         "设置Word文档的读密码和写密码,同批量加密Word文档;文件夹取其中所有 *doc 文件。\n"
         "  --passwords-from FILE  第一行为读密码,第二行为写密码(\"-\" 从标准输入读);空值去除该密码。\n"
         "  不给出时使用窗口的初始密码 739 和 5917。标准输出列出每个已完成的文档。",
         &wordCommand},
        {"dwg", {}, {QStringLiteral("--bmp"), QStringLiteral("--png")}, {}, 1, 1, "dwg FILE (--bmp OUT | --png OUT)",
         "把图纸中的预览图写成BMP文件(同\"另存为BMP文件\")或PNG文件。",
         &dwgCommand},
    };
    return table;
}

}  // namespace kestrune::cli
