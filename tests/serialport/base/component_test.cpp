#include "serialport/base/component.h"

#include <gtest/gtest.h>

#include <vector>

namespace tolvane {
namespace {

class TRecorder : public TComponent {
 public:
  TRecorder(TComponent* AOwner, std::vector<std::string>* Log, std::string Tag)
      : TComponent(AOwner), Log_(Log), Tag_(std::move(Tag)) {}
  ~TRecorder() override { Log_->push_back("destroy " + Tag_); }
  void Watch(TComponent* Other) { FreeNotification(Other); }

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override {
    TComponent::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove) Log_->push_back(Tag_ + " heard removal");
  }
  void Loaded() override { Log_->push_back(Tag_ + " loaded"); }

 private:
  std::vector<std::string>* Log_;
  std::string Tag_;
};

TEST(ComponentTest, OwnerDestroysWhatItOwns) {
  std::vector<std::string> Log;
  auto* Owner = new TRecorder(nullptr, &Log, "owner");
  new TRecorder(Owner, &Log, "child");
  delete Owner;
  EXPECT_EQ(Log, (std::vector<std::string>{"destroy owner", "destroy child"}));
}

TEST(ComponentTest, FreeNotificationTellsTheWatcherOnceAndForgetsBothWays) {
  std::vector<std::string> Log;
  TRecorder Watcher(nullptr, &Log, "watcher");
  {
    TRecorder Watched(nullptr, &Log, "watched");
    Watcher.Watch(&Watched);
  }
  EXPECT_EQ(Log, (std::vector<std::string>{"destroy watched", "watcher heard removal"}));
}

TEST(ComponentTest, RemovedFreeNotificationIsNotSent) {
  std::vector<std::string> Log;
  TRecorder Watcher(nullptr, &Log, "watcher");
  {
    TRecorder Watched(nullptr, &Log, "watched");
    Watcher.Watch(&Watched);
    Watched.RemoveFreeNotification(&Watcher);
  }
  EXPECT_EQ(Log, (std::vector<std::string>{"destroy watched"}));
}

TEST(ComponentTest, EndLoadingClearsTheStateAndRunsTheHook) {
  std::vector<std::string> Log;
  TRecorder Component(nullptr, &Log, "c");
  Component.BeginLoading();
  EXPECT_TRUE(Component.IsLoading());
  Component.EndLoading();
  EXPECT_FALSE(Component.IsLoading());
  EXPECT_EQ(Log, (std::vector<std::string>{"c loaded"}));
}

TEST(PersistentTest, AssigningAnUnrelatedClassRaises) {
  TPersistent A;
  TComponent B(nullptr);
  EXPECT_THROW(A.Assign(B), EConvertError);
}

}  // namespace
}  // namespace tolvane
