# Fish completion for dorvane-convert. The targets and input formats are asked
# of the program itself, so they are always those it knows.

function __dorvane_convert_targets
    set -l program (commandline -opc)[1]
    command -q $program; or return
    $program --list-targets 2>/dev/null | string replace -r '^(\S+)\s+(.*)$' '$1\t$2'
end

function __dorvane_convert_formats
    set -l program (commandline -opc)[1]
    command -q $program; or return
    $program --list-formats 2>/dev/null | string replace -r '^(\S+)\s+(.*)$' '$1\t$2'
end

complete -c dorvane-convert -s t -l to -x -a '(__dorvane_convert_targets)' -d 'Target format'
complete -c dorvane-convert -l from -x -a '(__dorvane_convert_formats)' -d 'Read the input in this format'
complete -c dorvane-convert -l input-encoding -x -a 'UTF-8 UTF-16LE UTF-16BE 1250 1251 1252 1253 1254 1255 1256 1257 1258 866 KOI8-R KOI8-U ISO-8859-5' -d 'Read the input in this encoding'
complete -c dorvane-convert -l ansi -d 'Write in the ANSI code page'
complete -c dorvane-convert -l bom -d 'Write UTF-8 with a byte-order mark'
complete -c dorvane-convert -l enigma2-type -x -a '4097 5001 5002' -d 'Enigma2 service type'
complete -c dorvane-convert -l bouquet-name -x -d 'Enigma2 bouquet name'
complete -c dorvane-convert -l no-bom -d 'Write UTF-8 without a byte-order mark'
complete -c dorvane-convert -l codepage -x -a '1250 1251 1252 1253 1254 1255 1256 1257 1258 874 932 936 949 950' -d 'ANSI code page'
complete -c dorvane-convert -s o -l output -r -F -d 'Output file (with --per-group, a folder)'
complete -c dorvane-convert -s q -l quiet -d 'Print no summary'
complete -c dorvane-convert -l group -x -d 'Keep the channels of a group'
complete -c dorvane-convert -l exclude-group -x -d 'Leave out the channels of a group'
complete -c dorvane-convert -l match -x -d 'Keep the channels whose name contains a text'
complete -c dorvane-convert -l dedupe -d 'One channel per address'
complete -c dorvane-convert -l list-groups -d 'List the groups instead of converting'
complete -c dorvane-convert -l timeout -x -d 'Give up a download that stalls this long'
complete -c dorvane-convert -l max-time -x -d 'Give up downloading once the run took this long'
complete -c dorvane-convert -l guide -r -F -d 'A programme guide, file or address'
complete -c dorvane-convert -l guide-out -r -F -d 'Write the guide cut to the channels'
complete -c dorvane-convert -l guide-partial-ok -d 'A guide cut short is no failure'
complete -c dorvane-convert -l recipe -r -k -a '(__fish_complete_suffix .dorvane)' -d 'Run a recipe'
complete -c dorvane-convert -l save-recipe -r -F -d 'Write the recipe of this command line'
complete -c dorvane-convert -l accept-gone -d 'Exit with 0 when chosen channels are gone'
complete -c dorvane-convert -l forget-gone -d 'Drop the gone channels from the recipe'
complete -c dorvane-convert -l verbose -d 'Name the new and gone channels, and those without a guide'
complete -c dorvane-convert -l store-password -d "Keep the provider's password in the recipe"
complete -c dorvane-convert -l provider -x -d "Read a provider's player interface"
complete -c dorvane-convert -l user -x -d "The provider account's user name"
complete -c dorvane-convert -l password-file -r -F -d 'The file whose first line is the password'
complete -c dorvane-convert -l movies -d "Add the provider's films"
complete -c dorvane-convert -l no-live -d "Leave the provider's live TV out"
complete -c dorvane-convert -l stream-format -x -a 'ts m3u8' -d 'Format of the live streams'
complete -c dorvane-convert -l send-to -x -d 'Send Enigma2 bouquets to a receiver (ftp:// or sftp://)'
complete -c dorvane-convert -l box-password-file -r -F -d "The file whose first line is the receiver's password"
complete -c dorvane-convert -l box-accept-new-host-key -d 'Take an SFTP host key known_hosts lacks'
complete -c dorvane-convert -l per-group -d 'One bouquet per group, sent or written into the -o folder'
complete -c dorvane-convert -l prefix -x -d "The bouquets' file prefix"
complete -c dorvane-convert -l reload-url -x -d "The receiver's web interface"
complete -c dorvane-convert -l no-reload -d 'Do not ask the receiver to reload'
complete -c dorvane-convert -l list-targets -d 'List the targets'
complete -c dorvane-convert -l list-formats -d 'List the input formats'
complete -c dorvane-convert -s h -l help -d 'Show the help'
complete -c dorvane-convert -l version -d 'Show the version'
