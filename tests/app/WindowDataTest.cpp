// SPDX-License-Identifier: MIT
// The program's compiled window data: the texts the collector cuts pages with, the address lists and the bindings
// that must be where the handlers expect them.
#include "forms/format/WindowData.h"
#include "AppWindows.h"
#include "BuildConfig.h"
#include "forms/format/PropertyBlock.h"
#include "services/Gbk.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace paveno;
namespace W = paveno::app;

namespace {

const format::WindowData& Data() {
    static const format::WindowData data = [] {
        auto result = format::ReadWindowData(W::WindowDataBlock());
        if (!result.data) throw std::runtime_error("the program's window data does not load");
        return *result.data;
    }();
    return data;
}

const format::ControlRecord& Record(std::uint32_t window, std::uint32_t control) {
    const format::WindowRecord* w = Data().Find(window);
    if (!w) throw std::runtime_error("no window");
    const int k = w->FindControl(control);
    if (k < 0) throw std::runtime_error("no control");
    return w->controls[static_cast<std::size_t>(k)];
}

format::PropertyBlock Block(std::uint32_t window, std::uint32_t control) {
    const format::ControlRecord& r = Record(window, control);
    auto read = format::ReadPropertyBlock(*format::FindKindLayout(r.kindId), r.properties);
    if (!read.block) throw std::runtime_error("unreadable block");
    return *read.block;
}

} // namespace

TEST(ProgramWindowData, MarkerTextsHaveTheirLengths) {
    ASSERT_EQ(std::strlen(build::kPictureHost), 14u) << "two marker lengths below assume the default picture host";
    struct Case {
        std::uint32_t control;
        std::size_t bytes;
    };
    namespace M = W::标记窗口;
    const Case cases[] = {{M::列表头, 88},  {M::列表尾, 99},  {M::列表尾1, 51}, {M::小说头, 54}, {M::小说尾, 84},
                          {M::标题头, 25},  {M::标题尾, 32},  {M::作者头, 37},  {M::作者尾, 64}, {M::简介头, 47},
                          {M::图片尾, 172}, {M::图片头, 59},  {M::序号尾, 58},  {M::序号头, 54}, {M::下载头, 301},
                          {M::下载尾, 49},  {M::统计尾, 102}, {M::统计头, 43},  {M::大小头, 63}, {M::大小尾, 13},
                          {M::通用, 9}};
    for (const auto& c : cases) {
        EXPECT_EQ(Block(M::id, c.control).TextOf("content").size(), c.bytes) << std::hex << c.control;
    }
    EXPECT_EQ(Block(M::id, M::小说尾).TextOf("content").back(), '\r'); // a lone CR ends it
    EXPECT_EQ(Block(W::等待窗口::id, W::等待窗口::编辑框1).TextOf("content").size(), 93u);
}

TEST(ProgramWindowData, AddressListsFollowTheCategories) {
    namespace M = W::主窗口;
    const auto finished = Block(M::id, M::完本类).List("items");
    const auto finishedUrls = Block(M::id, M::完本网页).List("items");
    const auto serialised = Block(M::id, M::连载类).List("items");
    const auto serialisedUrls = Block(M::id, M::连载网页).List("items");
    ASSERT_EQ(finished.size(), 16u);
    ASSERT_EQ(finishedUrls.size(), 16u);
    ASSERT_EQ(serialised.size(), 8u);
    ASSERT_EQ(serialisedUrls.size(), 8u);
    EXPECT_EQ(finished[15], Gbk("校园小说"));
    EXPECT_EQ(finishedUrls[15], std::string("http://") + build::kListHost + "/wanben/xiaoyuan/tuijian");
    EXPECT_EQ(serialisedUrls[7], std::string("http://") + build::kListHost + "/tongren/list40-");
    // The library window lists the same categories.
    EXPECT_EQ(Block(W::书库窗口::id, W::书库窗口::完本类).List("items"), finished);
    EXPECT_EQ(Block(W::书库窗口::id, W::书库窗口::连载类).List("items"), serialised);
    // The marker window's page list keeps its duplicates and starts with nothing selected.
    const auto pages = Block(W::标记窗口::id, W::标记窗口::页);
    EXPECT_EQ(pages.List("items").size(), 13u);
    EXPECT_EQ(pages.Signed("selection"), -1);
}

TEST(ProgramWindowData, TheFinishedCategoryIsBoundToHandlerZero) {
    const auto& bindings = Record(W::主窗口::id, W::主窗口::完本类).bindings;
    ASSERT_EQ(bindings.size(), 1u);
    EXPECT_EQ(bindings[0].event, 0);
    EXPECT_EQ(bindings[0].handler, 0u);
    EXPECT_EQ(W::kHandlerNames[0], "主窗口_完本类_列表项被选择");
    // The library window's list box sits left of its picture box, out of sight.
    EXPECT_EQ(Record(W::书库窗口::id, W::书库窗口::列表框1).left, -72);
    EXPECT_EQ(Record(W::书库窗口::id, W::书库窗口::列表框1).parentId, W::书库窗口::图片框1);
}
