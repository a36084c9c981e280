// Scripting.Dictionary as scripts use it.
#include <gtest/gtest.h>

#include "platform/script/script_classes.h"
#include "platform/script/testing/script_fixture.h"

namespace Tavrin::Platform::Script {
namespace {

using DictionaryTest = Testing::ScriptFixture;

// Add, Item, Exists, Count, Keys and Items keep the order of adding.
TEST_F(DictionaryTest, AddLookUpAndList) {
  add_code(L"var d = new ActiveXObject('Scripting.Dictionary');"
           L"d.Add('b', 2); d.Add('a', 1); d.Add(3, 'three');");
  EXPECT_EQ(eval(L"d.Count").lVal, 3);
  EXPECT_EQ(eval(L"d.Item('a')").lVal, 1);
  EXPECT_EQ(eval_text(L"d.Item(3)"), L"three");
  EXPECT_EQ(eval_text(L"d.Exists('3')"), L"0");  // a string is not the number
  EXPECT_EQ(eval_text(L"d.Exists(3)"), L"-1");
  EXPECT_EQ(eval_text(L"new VBArray(d.Keys()).toArray().join(',')"), L"b,a,3");
  EXPECT_EQ(eval_text(L"new VBArray(d.Items()).toArray().join(',')"), L"2,1,three");
  EXPECT_EQ(eval_text(L"(function () { var k = []; for (var e = new Enumerator(d); !e.atEnd(); e.moveNext())"
                      L" k.push(e.item()); return k.join(','); })()"),
            L"b,a,3");
}

// Adding a key twice and removing a missing one fail with their texts.
TEST_F(DictionaryTest, DuplicateAndMissingKeysFail) {
  add_code(L"var d = new ActiveXObject('Scripting.Dictionary.1'); d.Add('k', 1);");
  EXPECT_EQ(eval_text(L"(function () { try { d.Add('k', 2); } catch (e) { return e.message; } })()"),
            L"This key is already associated with an element of this collection: k");
  EXPECT_EQ(eval_text(L"(function () { try { d.Remove('nope'); } catch (e) { return e.message; } })()"),
            L"Element not found: nope");
  eval(L"d.Remove('k')");
  EXPECT_EQ(eval(L"d.Count").lVal, 0);
  eval(L"d.Add('x', 1); d.Add('y', 2); d.RemoveAll()");
  EXPECT_EQ(eval(L"d.Count").lVal, 0);
}

// Objects are kept as objects, and the same object is the same key.
TEST_F(DictionaryTest, ObjectsAsItemsAndKeys) {
  add_code(L"var d = new ActiveXObject('Scripting.Dictionary'); var inner = new ActiveXObject('Scripting.Dictionary');"
           L"inner.Add('deep', 42); d.Add('child', inner); d.Add(inner, 'by object');");
  EXPECT_EQ(eval(L"d.Item('child').Item('deep')").lVal, 42);
  EXPECT_EQ(eval_text(L"d.Item(inner)"), L"by object");
  // Reading a missing key adds it, empty.
  EXPECT_EQ(eval_text(L"typeof d.Item('fresh')"), L"undefined");
  EXPECT_EQ(eval(L"d.Count").lVal, 3);
}

}  // namespace
}  // namespace Tavrin::Platform::Script
