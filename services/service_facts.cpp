// The catalogue's facts alone, so that programs that only name the services (the reference
// host's setting checks) need none of the services' code.
#include "services/service_catalogue.h"

const SServiceFacts kServiceFacts[kServiceCount] = {
    {L"LocationIQ", L"key", L"pk.5e0c7a19b2d84f36a1c09e7d4b2f8a63", L"https://locationiq.com/",
     L"https://my.locationiq.com/dashboard", L"https://us1.locationiq.com"},
    {L"GeoApify", L"apiKey", L"9f8e7d6c5b4a39281706f5e4d3c2b1a0", L"https://www.geoapify.com/",
     L"https://myprojects.geoapify.com/", L"https://api.geoapify.com"},
    {L"GeoNames", L"username", L"samplepics", L"https://www.geonames.org/",
     L"https://www.geonames.org/login", L"http://api.geonames.org"},
    // BigDataCloud has no page of its own for signing up: its home page serves for both.
    {L"BigDataCloud", L"key", L"bdc_7c1e9a40d3b25f68e0a4c7d19b3f2e56",
     L"https://www.bigdatacloud.com/", L"https://www.bigdatacloud.com/", L"https://api-bdc.net"},
    {L"MapsCo", L"api_key", L"51e0c9d8b7a6f5e4d3c2b1zxwy9a8b7", L"https://geocode.maps.co/",
     L"https://geocode.maps.co/join/", L"https://geocode.maps.co"},
    {L"OpenWeather", L"appid", L"0a1b2c3d4e5f60718293a4b5c6d7e8f9", L"https://openweathermap.org/",
     L"https://openweathermap.org/api", L"https://api.openweathermap.org"},
    {L"Offline", L"", L"", L"", L"", L""},
};
