// The TypeScript declarations compile, and catch what they should.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import path from 'node:path';
import { test } from 'node:test';

import { webDir } from './support.mjs';

test('vantor.d.ts type-checks the documented uses', () => {
    const run = () => execFileSync('tsc', ['-p', path.join(webDir, 'test/tsconfig.json')], { encoding: 'utf8' });
    assert.doesNotThrow(run, (error) => error.stdout);
});
