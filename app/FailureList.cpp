// SPDX-License-Identifier: MIT
#include "app/FailureList.h"

#include "services/Gbk.h"
#include "services/NativePath.h"
#include "services/TextOps.h"

namespace paveno::app {

void FailureList::Add(const Text& title, const Text& reason) {
    books_.push_back({title, reason});
}

Text FailureList::ReportText() const {
    if (books_.empty()) return {};
    Text text = Gbk("\r\n\r\n本次失败的小说（最新在前）：");
    std::size_t shown = 0;
    for (auto it = books_.rbegin(); it != books_.rend() && shown < kShown; ++it, ++shown)
        text += JoinTexts("\r\n  ", it->title, Gbk("："), it->reason);
    if (books_.size() > shown)
        text += JoinTexts("\r\n  ", Gbk("……另有"), ToText(static_cast<std::int64_t>(books_.size() - shown)),
                          Gbk("本，见失败记录"));
    return text;
}

Text FailureList::SummaryLine(const Text& recordPath) const {
    if (books_.empty()) return {};
    const std::optional<std::string> native = NativePath(recordPath);
    return JoinTexts(Gbk("\r\n失败的小说及原因见："), native ? Utf8ToGbkLossy(*native) : recordPath);
}

} // namespace paveno::app
