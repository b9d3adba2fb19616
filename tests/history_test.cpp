#include <gtest/gtest.h>

#include <cstring>

#include "view/history.h"

namespace {

// Each recorded view is told apart by its Xmin.
class History : public ::testing::Test {
protected:
    void SetUp() override
    {
        currentView = DEFAULT_VIEW;
        historyHead = historyCursor = 0;
        StartHistory();
        currentView.Xmin = 0;
        StoreStartBounds();
    }
    void Record(double xmin)
    {
        currentView.Xmin = xmin;
        recordHistory = 1;
        PushHistory();
    }
    void ExpectState(int32_t count, int32_t head, int32_t cursor)
    {
        EXPECT_EQ(historyCount, count);
        EXPECT_EQ(historyHead, head);
        EXPECT_EQ(historyCursor, cursor);
    }
    void SetState(int32_t count, int32_t head, int32_t cursor)
    {
        historyCount = count;
        historyHead = head;
        historyCursor = cursor;
        for (int32_t slot = 0; slot < HISTORY_SLOTS; ++slot)
            historySlots[slot].Xmin = slot;
    }
};

}  // namespace

TEST_F(History, TheDocumentedStatesEnableAndStepAsTabled)
{
    struct Row {
        int32_t count, head, cursor;
        int32_t backTo, forwardTo;  // -1: the item is greyed
    };
    const Row rows[] = {
        {1, 0, 0, -1, -1}, {2, 1, 1, 0, -1}, {2, 1, 0, -1, 1}, {4, 3, 1, 0, 2},
        {5, 4, 4, 3, -1},  {5, 0, 0, 4, -1}, {5, 1, 0, 4, 1},  {5, 0, 1, -1, 2},
        {5, 2, 4, 3, 0},   {5, 3, 4, -1, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.count << "," << row.head << "," << row.cursor);
        SetState(row.count, row.head, row.cursor);
        EXPECT_EQ(CanStepBack(), row.backTo >= 0);
        EXPECT_EQ(CanStepForward(), row.forwardTo >= 0);

        needsRender = 0;
        EXPECT_EQ(StepBack(), row.backTo >= 0);
        EXPECT_EQ(historyCursor, row.backTo >= 0 ? row.backTo : row.cursor);
        EXPECT_EQ(needsRender, row.backTo >= 0 ? 1 : 0);
        if (row.backTo >= 0) {
            EXPECT_EQ(currentView.Xmin, row.backTo);
        }

        SetState(row.count, row.head, row.cursor);
        EXPECT_EQ(StepForward(), row.forwardTo >= 0);
        EXPECT_EQ(historyCursor, row.forwardTo >= 0 ? row.forwardTo : row.cursor);
        EXPECT_EQ(historyCount, row.count);
        EXPECT_EQ(historyHead, row.head);
    }
}

TEST_F(History, FiveRecordsOverwriteTheStartView)
{
    recordHistory = 0;
    PushHistory();  // nothing asked for
    ExpectState(1, 0, 0);

    Record(1);
    ExpectState(2, 1, 1);
    EXPECT_EQ(recordHistory, 0);
    ASSERT_TRUE(StepBack());
    EXPECT_EQ(currentView.Xmin, 0);  // the start view, with its colours and limit
    EXPECT_EQ(currentView.colorCount, 64);
    EXPECT_EQ(currentView.iterLimit, 64);
    EXPECT_FALSE(CanStepBack());
    EXPECT_TRUE(CanStepForward());

    SetUp();
    for (int i = 1; i <= 5; ++i)
        Record(i);
    ExpectState(5, 0, 0);
    for (int expected : {4, 3, 2, 1}) {
        ASSERT_TRUE(StepBack());
        EXPECT_EQ(currentView.Xmin, expected);
    }
    EXPECT_FALSE(StepBack());  // the start view is gone
}

TEST_F(History, ARecordAfterBackStepsKeepsTheEntriesAhead)
{
    for (int i = 1; i <= 4; ++i)
        Record(i);
    ExpectState(5, 4, 4);
    StepBack();
    StepBack();
    ExpectState(5, 4, 2);
    Record(10);
    ExpectState(5, 0, 0);
    for (int expected : {4, 3, 2, 1}) {
        ASSERT_TRUE(StepBack());
        EXPECT_EQ(currentView.Xmin, expected);
    }
    EXPECT_FALSE(StepBack());

    // Back and forward again returns the very same entry.
    const FractalView before = historySlots[historyCursor];
    StepForward();
    StepBack();
    EXPECT_EQ(std::memcmp(&currentView, &before, sizeof before), 0);
    ExpectState(5, 0, 1);
}
