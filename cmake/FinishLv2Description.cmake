# Run after JUCE's helper has written the LV2 bundle's dsp.ttl (cmake -D TTL=<file> -P this).
# Files the plug-in under the EQ class as well as the generic one, and turns the maker's bare
# e-mail address into the mailto: URI that foaf:mbox expects.
file(READ "${TTL}" ttl)
string(REPLACE "\ta lv2:Plugin ;" "\ta lv2:EQPlugin , lv2:Plugin ;" ttl "${ttl}")
string(REGEX REPLACE "foaf:mbox <([^:>]+@[^>]+)>" "foaf:mbox <mailto:\\1>" ttl "${ttl}")
file(WRITE "${TTL}" "${ttl}")
