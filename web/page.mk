# The playground's page (web/), included by the Makefile. `make web` builds
# the tracer's WebAssembly module and worker into $(WEB_BUILD)/site/; the
# targets here put the page beside them and test both in a browser.
WEB_BUILD ?= build-web

.PHONY: web-npm web-site web-stub-site web-test

# The npm packages the page is built and tested with, as web/package-lock.json
# pins them.
web/node_modules/.package-lock.json: web/package-lock.json
	cd web && npm ci --no-audit --no-fund
web-npm: web/node_modules/.package-lock.json

# The page, bundled into $(WEB_BUILD)/site/.
web-site: web-npm
	node web/build.mjs --out $(WEB_BUILD)/site

# The page with a stand-in worker that draws a gradient, in
# $(WEB_BUILD)/stub-site/, for working on the page without Emscripten.
web-stub-site: web-npm
	node web/build.mjs --stub-worker

# Chromium, headless, plays the built site served on 127.0.0.1 and compares
# its picture with the command line's. The page aims at no main-thread task
# over 50 ms (bench/web-page.mjs measures it); on a 2-core machine shared by
# Chromium's compositor, the workers and the command, the tests hold it to
# WEB_TASK_LIMIT_MS, which still fails the old page's stalls of 0.75 s and more.
WEB_TASK_LIMIT_MS ?= 400
web-test: web web-site
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS) --target glimmark
	GLIMMARK_TASK_LIMIT_MS=$(WEB_TASK_LIMIT_MS) node web/test/browser-test.mjs --site $(WEB_BUILD)/site --cli $(BUILD)/glimmark
