# Sending to a receiver: its bouquets and index, and dorvane-convert
# --send-to against FTP and SFTP servers and a web interface started here.
dorvane_add_test(BouquetsTest SOURCES BouquetsTest.cpp LIBS dorvane_receiver)
dorvane_add_test(SendTest SOURCES SendTest.cpp ConvertRunner.h support/ReceiverServers.h support/HttpTestServer.h
                 support/HttpTestServer.cpp LIBS dorvane_send Qt6::Network)
add_dependencies(SendTest dorvane-convert)
# File > Send to Receiver and a refresh that sends again.
dorvane_add_test(WindowSendTest GUI SOURCES WindowSendTest.cpp WindowFixture.h
                 support/ReceiverServers.h LIBS dorvane_app dorvane_cli)
# dorvane-convert --per-group -o FOLDER: the same set saved into a folder here.
dorvane_add_test(BouquetFolderTest SOURCES BouquetFolderTest.cpp ConvertRunner.h
                 support/ReceiverServers.h)
add_dependencies(BouquetFolderTest dorvane-convert)
