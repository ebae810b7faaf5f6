# Sending to a receiver: its bouquets and index, and dorvane-convert
# --send-to against FTP and SFTP servers and a web interface started here.
dorvane_add_test(BouquetsTest SOURCES BouquetsTest.cpp LIBS dorvane_receiver)
dorvane_add_test(SendTest SOURCES SendTest.cpp ConvertRunner.h support/HttpTestServer.h
                 support/HttpTestServer.cpp LIBS Qt6::Network)
add_dependencies(SendTest dorvane-convert)
