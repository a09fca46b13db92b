// same: 查找内容相同的文件.

#include "cli/command.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/session.h"
#include "core/batch/batchrunner.h"
#include "core/same/samedelete.h"
#include "core/same/samefinder.h"

namespace kestrune::cli {

namespace {

std::optional<KeepRule> keepRule(const QString& text)
{
    if (text == QLatin1String("oldest"))
        return KeepRule::Oldest;
    if (text == QLatin1String("newest"))
        return KeepRule::Newest;
    if (text == QLatin1String("first"))
        return KeepRule::First;
    return std::nullopt;
}

}  // namespace

int sameCommand(Session& session, const Parsed& p)
{
    SameOptions options;
    options.folders = p.args;
    if (const std::optional<QString> minSize = p.value("--min-size")) {
        bool ok = false;
        options.minSize = minSize->trimmed().toLongLong(&ok);
        if (!ok || options.minSize < 0)
            return usageError(QStringLiteral("最小大小必须是不小于0的整数(字节)!"));
    }
    options.pattern = p.value("--pattern").value_or(QString());
    const bool remove = p.has("--delete");
    const std::optional<QString> keep = p.value("--keep");
    if (keep && !remove)
        return usageError(QStringLiteral("--keep 只与 --delete 一起使用"));
    std::optional<KeepRule> rule;
    if (remove) {
        // As "每组保留一个": the oldest stays unless told otherwise.
        rule = keep ? keepRule(*keep) : KeepRule::Oldest;
        if (!rule)
            return usageError(QStringLiteral("--keep 只能是 oldest、newest 或 first"));
    }
    const std::optional<bool> toTrash = trashChoice(p);
    if (!toTrash)
        return usageError(QStringLiteral("--trash 和 --no-trash 只能选一个"));
    struct Outcome {
        SameResult found;
        std::optional<SameDeleteOutcome> deleted;
    };
    return runBatch<Outcome>(
        session,
        [options, rule, trashing = *toTrash](ProgressSink& progress) {
            Outcome outcome;
            outcome.found = findSameFiles(options, &progress);
            if (outcome.found.cancelled)
                return outcome;
            // Each group's paths, then one more separator: a blank line, or
            // a second NUL.
            for (const SameGroup& group : outcome.found.groups) {
                for (const SameFile& f : group.files)
                    result(f.path);
                result(QString());
            }
            if (rule) {
                const auto everyOther = [](int, int) { return true; };
                // Through the folders the search went, never through a link.
                SearchRoots roots;
                for (const QString& folder : std::as_const(options.folders))
                    roots.add(folder);
                outcome.deleted = deleteCopies(planDeletions(outcome.found.groups, everyOther, *rule, {}, nullptr),
                                               trashing, &progress, roots);
            }
            return outcome;
        },
        [](Outcome outcome) {
            if (outcome.found.cancelled) {
                message(cancelledText(outcome.found.filesHashed));
                return kExitFailed;
            }
            for (const SameProblem& problem : outcome.found.unreadable)
                failure(QStringLiteral("无法读取"), problem.path, problem.why);
            bool ok = outcome.found.unreadable.empty();
            if (outcome.deleted) {
                for (const SameProblem& problem : outcome.deleted->kept)
                    failure(QStringLiteral("未删除"), problem.path, problem.why);
                if (outcome.deleted->cancelled) {
                    message(cancelledText(outcome.deleted->handled));
                    return kExitFailed;
                }
                ok = ok && outcome.deleted->kept.empty();
            }
            return ok ? kExitOk : kExitFailed;
        });
}

}  // namespace kestrune::cli
