// The host objects of a MaildirHost: thin adapters that run each operation
// on the store with its lock held and turn what it throws into the status
// and error description handed back.
#ifndef TARVEX_HOST_MAILDIR_HOST_OBJECTS_H_
#define TARVEX_HOST_MAILDIR_HOST_OBJECTS_H_

#include <memory>

#include "host/host.h"

namespace tarvex::maildir_host_internal {

struct Store;

HostRef<HostInit> MakeInit(std::shared_ptr<Store> store);
HostRef<HostFolderManager> MakeFolderManager(std::shared_ptr<Store> store);
HostRef<HostApi> MakeApi(std::shared_ptr<Store> store);

}  // namespace tarvex::maildir_host_internal

#endif  // TARVEX_HOST_MAILDIR_HOST_OBJECTS_H_
