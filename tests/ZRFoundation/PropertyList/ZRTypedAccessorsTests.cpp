#include "ZRFoundation/PropertyList/ZRTypedAccessors.h"

#include <gtest/gtest.h>

namespace {

using namespace ZRTypedAccessors;

const ZRPropertyListDictionary dictionary{
    {"name", ZRPropertyList::string("Lumora")},
    {"count", ZRPropertyList::integer(3)},
    {"ratio", ZRPropertyList::real(-2.75)},
    {"flag", ZRPropertyList::boolean(true)},
    {"bytes", ZRPropertyList::data({1, 2})},
    {"list", ZRPropertyList::array({ZRPropertyList::string("a")})},
    {"table", ZRPropertyList::dictionary({{"k", ZRPropertyList::string("v")}})},
    {"when", ZRPropertyList::date({10.0})},
    {"nothing", ZRPropertyList::null()},
};

TEST(ZRTypedAccessors, ReturnValuesOfTheExpectedClassSilently) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(*stringForKey(dictionary, "name"), "Lumora");
    EXPECT_EQ(integerForKey(dictionary, "count"), 3);
    EXPECT_EQ(numberForKey(dictionary, "ratio")->realValue(), -2.75);
    EXPECT_EQ(boolForKey(dictionary, "flag"), true);
    EXPECT_EQ(*dataForKey(dictionary, "bytes"), (ZRPropertyList::Data{1, 2}));
    EXPECT_EQ(arrayForKey(dictionary, "list")->size(), 1U);
    EXPECT_EQ(*stringForKey(*dictionaryForKey(dictionary, "table"), "k"), "v");
    EXPECT_EQ(dateForKey(dictionary, "when")->secondsSinceReferenceDate, 10.0);
    // Absent keys give nothing and are not logged.
    EXPECT_EQ(stringForKey(dictionary, "missing"), nullptr);
    EXPECT_EQ(integerForKey(dictionary, "missing"), std::nullopt);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(ZRTypedAccessors, NumbersConvertLikeThePlatformsNumberClass) {
    EXPECT_EQ(integerForKey(dictionary, "ratio"), -2);
    EXPECT_EQ(integerForKey(dictionary, "flag"), 1);
    EXPECT_EQ(boolForKey(dictionary, "count"), true);
    EXPECT_EQ(boolForKey(ZRPropertyListDictionary{{"zero", ZRPropertyList::real(0.0)}}, "zero"), false);
    EXPECT_EQ(integerForKey(ZRPropertyListDictionary{{"huge", ZRPropertyList::real(1e19)}}, "huge"),
              std::nullopt);
}

TEST(ZRTypedAccessors, CheckedGettersLogTypeMismatches) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(stringForKey(dictionary, "count"), nullptr);
    EXPECT_EQ(integerForKey(dictionary, "name"), std::nullopt);
    EXPECT_EQ(dataForKey(dictionary, "list"), nullptr);
    EXPECT_EQ(arrayForKey(dictionary, "table"), nullptr);
    EXPECT_EQ(dictionaryForKey(dictionary, "nothing"), nullptr);
    EXPECT_EQ(dateForKey(dictionary, "bytes"), std::nullopt);
    EXPECT_EQ(boolForKey(dictionary, "when"), std::nullopt);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "-[NSDictionary objectForKey:count] returns NSNumber instead of expected NSString\n"
              "-[NSDictionary objectForKey:name] returns NSString instead of expected NSNumber\n"
              "-[NSDictionary objectForKey:list] returns NSArray instead of expected NSData\n"
              "-[NSDictionary objectForKey:table] returns NSDictionary instead of expected NSArray\n"
              "-[NSDictionary objectForKey:nothing] returns NSNull instead of expected NSDictionary\n"
              "-[NSDictionary objectForKey:bytes] returns NSData instead of expected NSDate\n"
              "-[NSDictionary objectForKey:when] returns NSDate instead of expected NSNumber\n");
}

TEST(ZRTypedAccessors, UncheckedGettersNeverLog) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(*unsafeStringForKey(dictionary, "name"), "Lumora");
    EXPECT_EQ(unsafeStringForKey(dictionary, "count"), nullptr);
    EXPECT_EQ(unsafeIntegerForKey(dictionary, "count"), 3);
    EXPECT_EQ(unsafeIntegerForKey(dictionary, "name"), std::nullopt);
    EXPECT_EQ(unsafeNumberForKey(dictionary, "list"), nullptr);
    EXPECT_EQ(unsafeBoolForKey(dictionary, "flag"), true);
    EXPECT_EQ(unsafeBoolForKey(dictionary, "name"), std::nullopt);
    EXPECT_NE(unsafeDataForKey(dictionary, "bytes"), nullptr);
    EXPECT_EQ(unsafeDataForKey(dictionary, "name"), nullptr);
    EXPECT_NE(unsafeArrayForKey(dictionary, "list"), nullptr);
    EXPECT_EQ(unsafeArrayForKey(dictionary, "name"), nullptr);
    EXPECT_NE(unsafeDictionaryForKey(dictionary, "table"), nullptr);
    EXPECT_EQ(unsafeDictionaryForKey(dictionary, "name"), nullptr);
    EXPECT_TRUE(unsafeDateForKey(dictionary, "when"));
    EXPECT_FALSE(unsafeDateForKey(dictionary, "name"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

} // namespace
