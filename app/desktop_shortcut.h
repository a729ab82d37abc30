// The shortcut to the assistant that every start puts on the user's desktop.
// Any thread (it initialises COM for itself).
#pragma once

#include <string>

// Writes desktop\|name|.lnk pointing at |target|, with the target's folder as
// working directory; an empty |icon_path| or |description| is left unset. An
// existing link of that name is replaced. Failures are silent: the link is
// then simply absent. Always answers true.
bool CreateDesktopShortcut(const std::wstring& name, const std::wstring& target,
                           const std::wstring& icon_path, const std::wstring& description);

// The folder CreateDesktopShortcut writes to (the user's desktop, not created
// when missing); "" when the shell knows none.
std::wstring DesktopFolder();
