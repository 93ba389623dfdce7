// Owned<T>: a pointer to an object that ends through its release(), such
// as the data-access objects, cursors, resources and lists that lineage
// code obtains and must give back on every path.
#ifndef SERVICES_OWNED_H_
#define SERVICES_OWNED_H_

#include <memory>

struct Releaser {
  template <class T>
  void operator()(T* object) const {
    if (object) object->release();
  }
};

template <class T>
using Owned = std::unique_ptr<T, Releaser>;

#endif  // SERVICES_OWNED_H_
