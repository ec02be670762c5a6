// The small component model the port and its clients are built on: an owner that destroys what
// it owns, a name, the loading and designing states, and removal notifications between
// components that refer to each other.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "serialport/base/com_error.h"

namespace tolvane {

class TObject {
 public:
  virtual ~TObject() = default;
};

// Raised when a settings object is assigned from an object of another class.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// An object that can take the values of another object of its own class.
class TPersistent : public TObject {
 public:
  // Copies Source's values into this object; an unrelated class raises EConvertError.
  virtual void Assign(const TPersistent& Source);
  virtual const char* ClassName() const { return "TPersistent"; }

 protected:
  [[noreturn]] void AssignError(const TPersistent& Source) const;
};

enum class TOperation : std::uint8_t { opInsert, opRemove };

class TComponent : public TPersistent {
 public:
  // Owned components are created with new and destroyed by their owner.
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  const char* ClassName() const override { return "TComponent"; }
  TComponent* Owner() const { return Owner_; }
  const std::string& Name() const { return Name_; }
  void SetName(const std::string& Name) { Name_ = Name; }

  // Loading brackets the setting of stored properties (the form description); EndLoading
  // runs the after-loading hook.
  bool IsLoading() const { return Loading_; }
  void BeginLoading() { Loading_ = true; }
  void EndLoading();
  bool IsDesigning() const { return Designing_; }
  void SetDesigning(bool Designing) { Designing_ = Designing; }
  bool IsDestroying() const { return Destroying_; }

  // Asks this component to call Other->Notification(this, opRemove) when it is destroyed.
  void FreeNotification(TComponent* Other);
  void RemoveFreeNotification(TComponent* Other);

 protected:
  virtual void Loaded() {}
  virtual void Notification(TComponent* AComponent, TOperation Operation);

  // Sends the removal notifications and destroys the owned components. A derived destructor
  // calls it where its own members must still exist during the notifications; the base
  // destructor calls it otherwise. It runs once.
  void Destroying();

 private:
  void InsertComponent(TComponent* Component);
  void RemoveComponent(TComponent* Component);

  TComponent* Owner_;
  std::string Name_;
  bool Loading_ = false;
  bool Designing_ = false;
  bool Destroying_ = false;
  std::vector<TComponent*> Components_;
  std::vector<TComponent*> FreeNotifies_;
};

}  // namespace tolvane
