// libcurl, loaded the first time one of its functions is called rather than when the program
// starts. With the TLS, Kerberos, LDAP, SSH and IDN libraries it brings, libcurl is a third of
// the shared libraries of the program, and the dynamic loader would map and relocate all of
// them before every window, every `--version` and every ping from the command line, though only
// HTTP lookups, the update check and the contact mail use it.
//
// The functions the program calls are defined here under libcurl's own names, with libcurl's own
// declarations, and pass each call on to the library once it is loaded. The program is therefore
// linked against no libcurl at all; its sources include <curl/curl.h> and call libcurl as usual.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>
#include <dlfcn.h>

#include <cstdarg>
#include <cstdio>

namespace {

// The library's run-time name: its interface number has been 4 since libcurl 7.16.
constexpr const char *kCurlLibrary = "libcurl.so.4";

struct TCurlFunctions {
    decltype(&curl_global_init) GlobalInit = nullptr;
    decltype(&curl_easy_init) EasyInit = nullptr;
    decltype(&curl_easy_cleanup) EasyCleanup = nullptr;
    decltype(&curl_easy_perform) EasyPerform = nullptr;
    decltype(&curl_easy_setopt) EasySetopt = nullptr;
    decltype(&curl_easy_getinfo) EasyGetinfo = nullptr;
    decltype(&curl_easy_strerror) EasyStrerror = nullptr;
    decltype(&curl_multi_init) MultiInit = nullptr;
    decltype(&curl_multi_cleanup) MultiCleanup = nullptr;
    decltype(&curl_multi_add_handle) MultiAddHandle = nullptr;
    decltype(&curl_multi_remove_handle) MultiRemoveHandle = nullptr;
    decltype(&curl_multi_perform) MultiPerform = nullptr;
    decltype(&curl_multi_poll) MultiPoll = nullptr;
    decltype(&curl_multi_info_read) MultiInfoRead = nullptr;
    decltype(&curl_share_init) ShareInit = nullptr;
    decltype(&curl_share_setopt) ShareSetopt = nullptr;
    decltype(&curl_slist_append) SlistAppend = nullptr;
    decltype(&curl_slist_free_all) SlistFreeAll = nullptr;
    // Every function above was found; when not, none is called and every call fails as libcurl
    // fails when it cannot start (no handle, CURLE_FAILED_INIT).
    bool Loaded = false;
};

template <typename Function>
void Find(void *library, const char *name, Function &slot, bool &all) {
    slot = reinterpret_cast<Function>(dlsym(library, name));
    all = all && slot != nullptr;
}

// Loaded once, by whichever thread asks first; the library stays loaded until the program ends.
const TCurlFunctions &Curl() {
    static const TCurlFunctions functions = [] {
        TCurlFunctions f;
        void *library = dlopen(kCurlLibrary, RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            std::fprintf(stderr, "Tarvex cannot load %s: %s\n", kCurlLibrary, dlerror());
            return f;
        }
        bool all = true;
        Find(library, "curl_global_init", f.GlobalInit, all);
        Find(library, "curl_easy_init", f.EasyInit, all);
        Find(library, "curl_easy_cleanup", f.EasyCleanup, all);
        Find(library, "curl_easy_perform", f.EasyPerform, all);
        Find(library, "curl_easy_setopt", f.EasySetopt, all);
        Find(library, "curl_easy_getinfo", f.EasyGetinfo, all);
        Find(library, "curl_easy_strerror", f.EasyStrerror, all);
        Find(library, "curl_multi_init", f.MultiInit, all);
        Find(library, "curl_multi_cleanup", f.MultiCleanup, all);
        Find(library, "curl_multi_add_handle", f.MultiAddHandle, all);
        Find(library, "curl_multi_remove_handle", f.MultiRemoveHandle, all);
        Find(library, "curl_multi_perform", f.MultiPerform, all);
        Find(library, "curl_multi_poll", f.MultiPoll, all);
        Find(library, "curl_multi_info_read", f.MultiInfoRead, all);
        Find(library, "curl_share_init", f.ShareInit, all);
        Find(library, "curl_share_setopt", f.ShareSetopt, all);
        Find(library, "curl_slist_append", f.SlistAppend, all);
        Find(library, "curl_slist_free_all", f.SlistFreeAll, all);
        if (!all) {
            std::fprintf(stderr, "Tarvex cannot use %s: it lacks functions the program calls\n",
                         kCurlLibrary);
        }
        f.Loaded = all;
        return f;
    }();
    return functions;
}

}  // namespace

extern "C" {

CURLcode curl_global_init(long flags) {
    return Curl().Loaded ? Curl().GlobalInit(flags) : CURLE_FAILED_INIT;
}

CURL *curl_easy_init(void) {
    return Curl().Loaded ? Curl().EasyInit() : nullptr;
}

void curl_easy_cleanup(CURL *handle) {
    if (Curl().Loaded) {
        Curl().EasyCleanup(handle);
    }
}

CURLcode curl_easy_perform(CURL *handle) {
    return Curl().Loaded ? Curl().EasyPerform(handle) : CURLE_FAILED_INIT;
}

// libcurl reads an option's argument as the type that the option's number gives (the
// CURLOPTTYPE_ ranges of curl.h): a long, a pointer to data or to a function, or a curl_off_t. It
// is read here as that type and passed on as that type.
CURLcode curl_easy_setopt(CURL *handle, CURLoption option, ...) {
    if (!Curl().Loaded) {
        return CURLE_FAILED_INIT;
    }
    va_list arguments;
    va_start(arguments, option);
    CURLcode result;
    if (option < CURLOPTTYPE_OBJECTPOINT) {
        result = Curl().EasySetopt(handle, option, va_arg(arguments, long));
    } else if (option >= CURLOPTTYPE_OFF_T && option < CURLOPTTYPE_BLOB) {
        result = Curl().EasySetopt(handle, option, va_arg(arguments, curl_off_t));
    } else {
        result = Curl().EasySetopt(handle, option, va_arg(arguments, void *));
    }
    va_end(arguments);
    return result;
}

// Every piece of information is written through a pointer.
CURLcode curl_easy_getinfo(CURL *handle, CURLINFO info, ...) {
    if (!Curl().Loaded) {
        return CURLE_FAILED_INIT;
    }
    va_list arguments;
    va_start(arguments, info);
    const CURLcode result = Curl().EasyGetinfo(handle, info, va_arg(arguments, void *));
    va_end(arguments);
    return result;
}

const char *curl_easy_strerror(CURLcode code) {
    return Curl().Loaded ? Curl().EasyStrerror(code) : "libcurl could not be loaded";
}

CURLM *curl_multi_init(void) {
    return Curl().Loaded ? Curl().MultiInit() : nullptr;
}

CURLMcode curl_multi_cleanup(CURLM *multi) {
    return Curl().Loaded ? Curl().MultiCleanup(multi) : CURLM_BAD_HANDLE;
}

CURLMcode curl_multi_add_handle(CURLM *multi, CURL *handle) {
    return Curl().Loaded ? Curl().MultiAddHandle(multi, handle) : CURLM_BAD_HANDLE;
}

CURLMcode curl_multi_remove_handle(CURLM *multi, CURL *handle) {
    return Curl().Loaded ? Curl().MultiRemoveHandle(multi, handle) : CURLM_BAD_HANDLE;
}

CURLMcode curl_multi_perform(CURLM *multi, int *running) {
    return Curl().Loaded ? Curl().MultiPerform(multi, running) : CURLM_BAD_HANDLE;
}

CURLMcode curl_multi_poll(CURLM *multi, struct curl_waitfd extra[], unsigned int count,
                          int timeoutMs, int *ready) {
    return Curl().Loaded ? Curl().MultiPoll(multi, extra, count, timeoutMs, ready)
                         : CURLM_BAD_HANDLE;
}

CURLMsg *curl_multi_info_read(CURLM *multi, int *left) {
    return Curl().Loaded ? Curl().MultiInfoRead(multi, left) : nullptr;
}

CURLSH *curl_share_init(void) {
    return Curl().Loaded ? Curl().ShareInit() : nullptr;
}

// What to share, or what not, is a curl_lock_data, which reaches a variadic function as an int;
// the lock functions and the user data are pointers.
CURLSHcode curl_share_setopt(CURLSH *share, CURLSHoption option, ...) {
    if (!Curl().Loaded) {
        return CURLSHE_NOT_BUILT_IN;
    }
    va_list arguments;
    va_start(arguments, option);
    CURLSHcode result;
    if (option == CURLSHOPT_SHARE || option == CURLSHOPT_UNSHARE) {
        result = Curl().ShareSetopt(share, option, va_arg(arguments, int));
    } else {
        result = Curl().ShareSetopt(share, option, va_arg(arguments, void *));
    }
    va_end(arguments);
    return result;
}

struct curl_slist *curl_slist_append(struct curl_slist *list, const char *text) {
    return Curl().Loaded ? Curl().SlistAppend(list, text) : nullptr;
}

void curl_slist_free_all(struct curl_slist *list) {
    if (Curl().Loaded) {
        Curl().SlistFreeAll(list);
    }
}

}  // extern "C"
