# A provider's player interface: the login, the playlist made of its
# answers, and reading them from a fake provider the tests start on
# 127.0.0.1.
dorvane_add_test(test_provider
    SOURCES ProviderTest.cpp support/HttpTestServer.h support/HttpTestServer.cpp
    LIBS dorvane_provider_download)
