#include "platform/com/com_object.h"

#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/com/com_ptr.h"
#include "platform/com/dispatch.h"

namespace {

using namespace Tavrin::Platform::Com;

struct IFirst : IDispatch {
  static constexpr IID kIid = make_guid("{5A0C7E10-0001-4000-8000-0000000C0B01}");
  virtual HRESULT First(LONG* value) = 0;

 protected:
  ~IFirst() = default;
};

struct ISecond : IDispatch {
  static constexpr IID kIid = make_guid("{5A0C7E10-0002-4000-8000-0000000C0B01}");
  virtual HRESULT Second(LONG* value) = 0;

 protected:
  ~ISecond() = default;
};

struct IPlain : IUnknown {
  static constexpr IID kIid = make_guid("{5A0C7E10-0003-4000-8000-0000000C0B01}");
  virtual HRESULT Plain(LONG* value) = 0;

 protected:
  ~IPlain() = default;
};

// An interface nobody here implements.
struct IAbsent : IUnknown {
  static constexpr IID kIid = make_guid("{5A0C7E10-0004-4000-8000-0000000C0B01}");
};

// Stands in for an implementation helper: the IDispatch part of IFirst.
template <class I>
class FakeDispatch : public I {
 public:
  explicit FakeDispatch(int tag = 0) : tag_(tag) {}
  HRESULT GetTypeInfoCount(UINT* count) override {
    *count = static_cast<UINT>(tag_);
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

 private:
  int tag_;
};

// Two dual interfaces (each with its own IDispatch) and a plain one.
class Multi final : public ComObject<Bases<FakeDispatch<IFirst>, FakeDispatch<ISecond>, IPlain>, IFirst,
                                     Through<IDispatch, IFirst>, ISecond, IPlain> {
 public:
  explicit Multi(bool* destroyed) : ComObject(7), destroyed_(destroyed) {}
  HRESULT First(LONG* value) override {
    *value = 1;
    return S_OK;
  }
  HRESULT Second(LONG* value) override {
    *value = 2;
    return S_OK;
  }
  HRESULT Plain(LONG* value) override {
    *value = 3;
    return S_OK;
  }

 private:
  ~Multi() override { *destroyed_ = true; }
  bool* destroyed_;
};

// One chain of interfaces, and more interfaces answered by the class itself.
class Extended final : public ComObject<IPlain, IPlain> {
 public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    const HRESULT own = ComObject::QueryInterface(iid, object);
    if (own != E_NOINTERFACE || iid != IAbsent::kIid) return own;
    *object = static_cast<IPlain*>(this);  // an alias, for the test
    AddRef();
    return S_OK;
  }
  HRESULT Plain(LONG* value) override {
    *value = 4;
    return S_OK;
  }

 private:
  ~Extended() override = default;
};

template <class I>
ComPtr<I> query(IUnknown* from) {
  ComPtr<I> to;
  EXPECT_EQ(from->QueryInterface(uuid_of<I>(), reinterpret_cast<void**>(to.put())), S_OK);
  return to;
}

IUnknown* identity(IUnknown* of) {
  IUnknown* unknown = nullptr;
  EXPECT_EQ(of->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  if (unknown) unknown->Release();
  return unknown;
}

class ComObjectTest : public ::testing::Test {
 protected:
  bool destroyed = false;
  ComPtr<IFirst> object = ComPtr<IFirst>::attach(new Multi(&destroyed));
};

// Every listed interface is handed out from every other, and works.
TEST_F(ComObjectTest, AnswersEachInterfaceFromEachOther) {
  const ComPtr<ISecond> second = query<ISecond>(object.get());
  const ComPtr<IPlain> plain = query<IPlain>(second.get());
  const ComPtr<IFirst> first = query<IFirst>(plain.get());
  LONG value = 0;
  ASSERT_TRUE(second && plain && first);
  second->Second(&value);
  EXPECT_EQ(value, 2);
  plain->Plain(&value);
  EXPECT_EQ(value, 3);
  first->First(&value);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(first.get(), object.get());
}

// IUnknown is the same pointer whichever interface is asked: the object's
// identity, the first interface's.
TEST_F(ComObjectTest, IdentityIsTheSameThroughEveryInterface) {
  IUnknown* expected = static_cast<IUnknown*>(object.get());
  EXPECT_EQ(identity(object.get()), expected);
  EXPECT_EQ(identity(query<ISecond>(object.get()).get()), expected);
  EXPECT_EQ(identity(query<IPlain>(object.get()).get()), expected);
}

// An interface that two bases derive from comes through the named one.
TEST_F(ComObjectTest, SharedInterfaceComesThroughTheNamedBase) {
  const ComPtr<IDispatch> dispatch = query<IDispatch>(query<ISecond>(object.get()).get());
  ASSERT_TRUE(dispatch);
  EXPECT_EQ(dispatch.get(), static_cast<IDispatch*>(object.get()));
  UINT tag = 0;
  dispatch->GetTypeInfoCount(&tag);
  EXPECT_EQ(tag, 7u);  // IFirst's, which got the constructor's argument; ISecond's says 0
}

// Unknown interfaces and a null out-pointer are refused.
TEST_F(ComObjectTest, RefusesUnlistedInterfacesAndNullOut) {
  void* out = this;
  EXPECT_EQ(object->QueryInterface(IAbsent::kIid, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

// One count serves all interfaces; the last Release deletes the object.
TEST_F(ComObjectTest, OneCountForAllInterfaces) {
  ISecond* second = nullptr;
  ASSERT_EQ(object->QueryInterface(ISecond::kIid, reinterpret_cast<void**>(&second)), S_OK);
  EXPECT_EQ(second->AddRef(), 3u);
  EXPECT_EQ(object->Release(), 2u);
  object.detach();
  EXPECT_EQ(second->Release(), 1u);
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(second->Release(), 0u);
  EXPECT_TRUE(destroyed);
}

// References taken and dropped on several threads at once are all counted.
TEST_F(ComObjectTest, CountIsSafeAcrossThreads) {
  const ComPtr<IPlain> plain = query<IPlain>(object.get());
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        plain->AddRef();
        object->Release();
      }
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(object->AddRef(), 3u);
  object->Release();
  EXPECT_FALSE(destroyed);
}

// A class may answer more interfaces after the listed ones.
TEST(ComObjectExtension, ClassAnswersMoreAfterTheListedOnes) {
  auto object = ComPtr<IPlain>::attach(new Extended());
  void* out = nullptr;
  ASSERT_EQ(object->QueryInterface(IAbsent::kIid, &out), S_OK);
  EXPECT_EQ(out, object.get());
  static_cast<IPlain*>(out)->Release();
  EXPECT_EQ(object->QueryInterface(IFirst::kIid, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
}

}  // namespace

namespace {

// A creation function hands out the asked interface with the one reference
// the caller owns; one the object does not answer leaves nothing behind.
TEST(CreateObject, HandsOutTheAskedInterfaceOrNothing) {
  bool destroyed = false;
  ISecond* second = nullptr;
  ASSERT_EQ(create_object<Multi>(ISecond::kIid, reinterpret_cast<void**>(&second), &destroyed), S_OK);
  ASSERT_NE(second, nullptr);
  LONG value = 0;
  second->Second(&value);
  EXPECT_EQ(value, 2);
  EXPECT_EQ(second->Release(), 0u);
  EXPECT_TRUE(destroyed);

  destroyed = false;
  void* out = &destroyed;
  EXPECT_EQ(create_object<Multi>(IAbsent::kIid, &out, &destroyed), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(create_object<Multi>(IFirst::kIid, nullptr, &destroyed), E_POINTER);
}

}  // namespace
